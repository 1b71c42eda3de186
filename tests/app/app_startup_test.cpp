// Start-up and shutdown of the application with each engine module present or missing.
#include <QtTest>
#include <filesystem>

#include "app/dlg_main.h"
#include "app/join_app.h"
#include "app/small_dialogs.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
#include "platform/vfw.h"
#include "rmjoin/rm_sdk.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

std::string FakeModule(const char* folder, const char* bareName) {
    return (fs::path(kjtest::BinDir()).parent_path() / "tests" / "modules" / folder /
            ModuleFileName(bareName))
        .string();
}

// A module folder holding the resource module and the chosen engines.
struct ModuleFolderBuilder {
    kjtest::TempDir dir;
    ModuleFolderBuilder() {
        fs::copy_file(fs::path(kjtest::BinDir()) / ModuleFileName("rvkhelper"),
                      fs::path(dir.path()) / ModuleFileName("rvkhelper"));
    }
    void Add(const std::string& file, const std::string& relative) {
        fs::path target = fs::path(dir.path()) / relative;
        fs::create_directories(target.parent_path());
        fs::copy_file(file, target);
    }
    void AddAllEngines() {
        Add(FakeModule("mcl", "zivuvore"), ModuleFileName("zivuvore"));
        Add(FakeModule("wm", "WMVCore"), ModuleFileName("WMVCore"));
        Add(FakeModule("rm", "rmto3260"), "producer/tools/" + ModuleFileName("rmto3260"));
    }
};

struct Observed {
    bool dialogShown = false;
    bool scanWindowVisible = true;
    bool wmEntryPoints = false;
    bool realMediaLoaded = false;
    int mclEntryPoints = -1;
    std::string accessPathBlock;  // entries joined by '|'
};

Observed RunApp(const std::string& folder, std::vector<std::string>* unloads, bool* initResult,
                int* exitCode) {
    SetModuleFolder(folder);
    SetModuleUnloadObserver([unloads](const std::string& name) {
        unloads->push_back(
            name + (name == "rvkhelper" && AVIFileInitCount() != 0 ? "(before AVIFileExit)" : ""));
    });
    Observed seen;
    CJoinApp app;
    app.m_onDialogReady = [&seen](CDlgMain& dialog) {
        seen.dialogShown = dialog.isVisible();
        seen.scanWindowVisible = dialog.ScanProgressWindow()->isVisible();
        seen.wmEntryPoints = dialog.WmEntryPointsLoaded();
        seen.realMediaLoaded = dialog.RealMediaModule() != nullptr;
        seen.mclEntryPoints = MclApi.ResolvedCount();
        if (const Module* rm = dialog.RealMediaModule()) {
            auto block = rm->ResolveAs<const char* (*)()>("FakeAccessPathBlock")();
            for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
                seen.accessPathBlock += std::string(entry) + "|";
            }
        }
        dialog.accept();
    };
    *initResult = app.InitInstance();
    *exitCode = app.ExitInstance();
    SetModuleUnloadObserver(nullptr);
    return seen;
}

}  // namespace

class AppStartupTest : public QObject {
    Q_OBJECT

private slots:
    void everyModulePresentLoadsAndReleasesInOrder() {
        ModuleFolderBuilder folder;
        folder.AddAllEngines();
        std::vector<std::string> unloads;
        bool initResult = true;
        int exitCode = -1;
        Observed seen = RunApp(folder.dir.path(), &unloads, &initResult, &exitCode);
        QVERIFY(seen.dialogShown);
        QVERIFY(!seen.scanWindowVisible);
        QVERIFY(seen.wmEntryPoints);
        QVERIFY(seen.realMediaLoaded);
        QCOMPARE(seen.mclEntryPoints, 3);  // the stand-in exports three of the entry points
        QVERIFY(!initResult);
        QCOMPARE(exitCode, 0);
        QCOMPARE(unloads,
                 (std::vector<std::string>{"rmto3260", "WMVCore", "rvkhelper", "zivuvore"}));
        QCOMPARE(MclApi.ResolvedCount(), 0);

        std::string sdk = folder.dir.path() + "/producer/";
        QCOMPARE(seen.accessPathBlock, "DT_Plugins=" + sdk + "plugins|DT_Codecs=" + sdk +
                                           "codecs|DT_EncSDK=" + sdk + "tools|DT_Common=" + sdk +
                                           "common|");
    }

    void missingEnginesDoNotStopStartUp() {
        ModuleFolderBuilder folder;
        std::vector<std::string> unloads;
        bool initResult = true;
        int exitCode = -1;
        Observed seen = RunApp(folder.dir.path(), &unloads, &initResult, &exitCode);
        QVERIFY(seen.dialogShown);
        QVERIFY(!seen.wmEntryPoints);
        QVERIFY(!seen.realMediaLoaded);
        QCOMPARE(seen.mclEntryPoints, 0);
        QCOMPARE(exitCode, 0);
        QCOMPARE(unloads, std::vector<std::string>{"rvkhelper"});
    }

    void windowsMediaModuleWithoutAllFactoriesIsNotUsed() {
        ModuleFolderBuilder folder;
        folder.Add(FakeModule("wm-partial", "WMVCore"), ModuleFileName("WMVCore"));
        std::vector<std::string> unloads;
        bool initResult = true;
        int exitCode = -1;
        Observed seen = RunApp(folder.dir.path(), &unloads, &initResult, &exitCode);
        QVERIFY(seen.dialogShown);
        QVERIFY(!seen.wmEntryPoints);
        QCOMPARE(unloads, (std::vector<std::string>{"WMVCore", "rvkhelper"}));
    }

    void missingResourceModuleIsReportedWithAnError() {
        kjtest::TempDir dir;
        fs::copy_file(fs::path(kjtest::BinDir()) / "kjoiner", fs::path(dir.path()) / "kjoiner");
        kjtest::CommandResult r = kjtest::RunCommand("QT_QPA_PLATFORM=offscreen " +
                                                     kjtest::ShellQuote(dir.File("kjoiner")));
        QVERIFY(r.exitCode != 0);
        QVERIFY2(r.output.find("librvkhelper.so") != std::string::npos, r.output.c_str());
    }

    void sdkFolderAndAccessPathBlock() {
        QCOMPARE(RealMediaSdkFolderFor("/opt/kj"), std::string("/opt/kj/producer/"));
        QCOMPARE(RealMediaSdkFolderFor("/opt/kj/"), std::string("/opt/kj/producer/"));
        std::vector<char> block = BuildAccessPathBlock("/f/");
        QCOMPARE(block.size(), size_t{2048});
        std::string expected = std::string("DT_Plugins=/f/plugins") + '\0' + "DT_Codecs=/f/codecs" +
                               '\0' + "DT_EncSDK=/f/tools" + '\0' + "DT_Common=/f/common" + '\0' +
                               '\0';
        QCOMPARE(std::string(block.data(), expected.size()), expected);
        // A folder too long for the block never writes past it.
        std::vector<char> huge = BuildAccessPathBlock(std::string(1500, 'x'));
        QCOMPARE(huge.size(), size_t{2048});
        QCOMPARE(huge.back(), '\0');
    }
};

QTEST_MAIN(AppStartupTest)
#include "app_startup_test.moc"
