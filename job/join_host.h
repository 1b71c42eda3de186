// What a join engine may reach of the job that runs it: the ordered inputs, the engine
// modules, progress, the status line, prompts and resource strings. The window and the command
// line each implement it; the engines know nothing else of either.
#pragma once

#include <string>
#include <vector>

#include "probe/media_file_info.h"

class Module;

// One input of the join, as it was when the job started (a copy: rows may change meanwhile).
struct JoinInput {
    std::string path;
    MediaFileInfo info;
};

class JoinHost {
public:
    virtual ~JoinHost() = default;

    // The inputs in join order.
    virtual const std::vector<JoinInput>& Inputs() const = 0;
    // True when the Windows Media module and its three factories were found.
    virtual bool WmEntryPointsLoaded() const = 0;
    // The RealMedia module, or null when it could not be loaded.
    virtual const Module* RealMediaModule() const = 0;

    // Progress, posted (never waited for): WM_JOIN_PERCENT and WM_JOIN_PROGRESS. The caller
    // of PostJoinProgress holds g_jobLock, so that g_statusText goes with the percentage: an
    // implementation reads g_statusText as it is and never takes the lock itself.
    virtual void PostJoinPercent(int percent) = 0;
    virtual void PostJoinProgress(int percent) = 0;
    // Direct updates of the status line and the progress bar, from any thread.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    // Dispatches the calling thread's waiting events.
    virtual void PumpMessages() = 0;

    // A message with an OK button; waits until it is answered. Any thread.
    virtual void MessageBox(const std::string& text) = 0;
    // A string of the resource module.
    virtual std::string ResourceString(int id) const = 0;
};
