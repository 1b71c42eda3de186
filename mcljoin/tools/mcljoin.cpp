// Joins AVI or MPEG files through the join driver and the conversion module, the way the
// window does, with the first row's properties given on the command line (the probe is not
// involved); used by bench/mcl_join.sh.
//
//   mcljoin KIND WIDTH HEIGHT RATE FOURCC OUTPUT INPUT...
//
// KIND: 0 AVI, 1 MPEG-1, 2 MPEG-2; FOURCC: four characters (AVI) or "-".
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "job/job_state.h"
#include "job/join_host.h"
#include "mcljoin/mcl_api.h"
#include "mcljoin/mcl_join.h"
#include "platform/module.h"
#include "platform/vfw.h"

namespace {

class TerminalHost : public JoinHost {
public:
    std::vector<JoinInput> inputs;
    const std::vector<JoinInput>& Inputs() const override { return inputs; }
    bool WmEntryPointsLoaded() const override { return false; }
    const Module* RealMediaModule() const override { return nullptr; }
    void PostJoinPercent(int) override {}
    void PostJoinProgress(int percent) override { m_percent = percent; }
    void SetStatusText(const std::string&) override {}
    void SetProgress(int) override {}
    void PumpMessages() override {}
    void MessageBox(const std::string& text) override { std::cerr << text << "\n"; }
    std::string ResourceString(int) const override { return {}; }

private:
    int m_percent = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8) {
        std::cerr << "usage: mcljoin KIND WIDTH HEIGHT RATE FOURCC OUTPUT INPUT...\n";
        return 2;
    }
    std::unique_ptr<Module> module = Module::Load("zivuvore");
    if (module == nullptr) {
        std::cerr << "libzivuvore.so not found next to mcljoin\n";
        return 1;
    }
    LoadMclApi(module.get());
    TerminalHost host;
    std::string fourcc = argv[5];
    for (int i = 7; i < argc; ++i) {
        JoinInput row;
        row.path = argv[i];
        row.info.m_strPath = argv[i];
        row.info.m_nKind = std::atoi(argv[1]);
        row.info.m_nWidth = std::atoi(argv[2]);
        row.info.m_nHeight = std::atoi(argv[3]);
        row.info.m_fFrameRate = std::strtof(argv[4], nullptr);
        if (fourcc.size() == 4) {
            row.info.m_dwFourcc = mmioFOURCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
        }
        host.inputs.push_back(row);
    }
    g_firstRowKind = host.inputs.front().info.m_nKind;
    int result = JoinWithConversionLibrary(host, argv[6]);
    LoadMclApi(nullptr);
    if (result != 1) {
        std::cerr << g_errorText << "\n";
        return 1;
    }
    return 0;
}
