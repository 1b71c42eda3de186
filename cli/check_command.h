// `kjoin check`: every file of a list compared with the first, field by field, as a join would.
#pragma once

#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "job/join_host.h"

// What the check of a list needs of a job: the inputs. The conversion module, for AVI and MPEG
// lists, is the one the probe loaded (it stays loaded while the files are checked).
class CheckListHost : public JoinHost {
public:
    explicit CheckListHost(std::vector<JoinInput> inputs) : m_inputs(std::move(inputs)) {}
    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return false; }
    const Module* RealMediaModule() const override { return nullptr; }
    void PostJoinPercent(int) override {}
    void PostJoinProgress(int) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgress(int) override {}
    void PumpMessages() override {}
    void MessageBox(const std::string&) override {}
    std::string ResourceString(int id) const override;

private:
    std::vector<JoinInput> m_inputs;
};

// Prints one line per field that differs from the first file's, then what a join would do (or,
// with --json, the same as one JSON object). 0 when the files can be joined, 1 when not or when
// a file could not be probed.
int RunCheckCommand(const QStringList& arguments, FILE* out, FILE* err);
