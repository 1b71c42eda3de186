// The whole-list check a join makes before it asks for an output: the designed checks, then
// every field of every file against the first, as `kjoin check` does. The window runs it before
// its save dialog and kjoin before it writes anything, so a list that would be refused is
// refused at once, with the designed text and every odd file after it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/join_check.h"
#include "job/join_host.h"

// A job that only reads its inputs: no progress, no prompts. Its resource strings come from
// `strings` (the window's own texts, or kjoin's wording of them).
class ListCheckHost : public JoinHost {
public:
    using StringSource = std::function<std::string(int id)>;
    ListCheckHost(std::vector<JoinInput> inputs, StringSource strings)
        : m_inputs(std::move(inputs)), m_strings(std::move(strings)) {}
    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return false; }
    const Module* RealMediaModule() const override { return nullptr; }
    void PostJoinPercent(int) override {}
    void PostJoinProgress(int) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgress(int) override {}
    void PumpMessages() override {}
    void MessageBox(const std::string&) override {}
    std::string ResourceString(int id) const override { return m_strings ? m_strings(id) : ""; }

private:
    std::vector<JoinInput> m_inputs;
    StringSource m_strings;
};

// The text the engine of the list's kind refuses a list with when the designed checks pass but
// a file differs in a way its join cannot take: the Windows Media join's profile mismatch
// naming the first such file, the Real Media engine's stream mismatch, the conversion module's
// own reason. Empty when the check found nothing that refuses.
std::string EngineRefusalText(const CheckResult& result, const std::vector<JoinCheckFacts>& facts);

// What refuses the list, or an empty text when it can be joined. `designed` gives the text of
// one of the designed refusals (CheckJoinList's string number, and the file it names when it
// names one). What follows the refusal is the check's line for every odd file.
struct ListRefusal {
    bool refused = false;
    std::string text;
};
using DesignedText = std::function<std::string(int id, const std::string& namedFile)>;
ListRefusal CheckListBeforeJoin(JoinHost& host, const DesignedText& designed);
