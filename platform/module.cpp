#include "platform/module.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <mutex>
#include <utility>

namespace {

std::mutex g_folderMutex;
std::string g_moduleFolder;  // empty: the program's folder
std::function<void(const std::string&)> g_unloadObserver;

std::string ProgramFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath().toStdString();
    }
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return exe.isEmpty() ? std::string(".") : QFileInfo(exe).absolutePath().toStdString();
}

}  // namespace

Module::Module(std::unique_ptr<QLibrary> library, std::string name, std::string path)
    : m_library(std::move(library)), m_name(std::move(name)), m_path(std::move(path)) {}

Module::~Module() {
    if (m_library) {
        m_library->unload();
    }
    if (g_unloadObserver) {
        g_unloadObserver(m_name);
    }
}

std::string ModuleFileName(const std::string& bareName) {
    return "lib" + bareName + ".so";
}

std::unique_ptr<Module> Module::LoadFile(const std::string& path) {
    auto library = std::make_unique<QLibrary>(QString::fromStdString(path));
    if (!library->load()) {
        return nullptr;
    }
    QString loaded = library->fileName();
    std::string bare = QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString();
    if (bare.rfind("lib", 0) == 0) {
        bare.erase(0, 3);
    }
    return std::unique_ptr<Module>(new Module(std::move(library), bare, loaded.toStdString()));
}

std::unique_ptr<Module> Module::Load(const std::string& bareName) {
    std::string local = ModuleFolder() + "/" + ModuleFileName(bareName);
    if (QFileInfo::exists(QString::fromStdString(local))) {
        if (auto module = LoadFile(local)) {
            module->m_name = bareName;
            return module;
        }
    }
    auto library = std::make_unique<QLibrary>(QString::fromStdString(bareName));
    if (!library->load()) {
        return nullptr;
    }
    std::string path = library->fileName().toStdString();
    return std::unique_ptr<Module>(new Module(std::move(library), bareName, path));
}

void* Module::Resolve(const char* symbol) const {
    return reinterpret_cast<void*>(m_library->resolve(symbol));
}

std::string ModuleFolder() {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    return g_moduleFolder.empty() ? ProgramFolder() : g_moduleFolder;
}

void SetModuleFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_moduleFolder = folder;
}

void SetModuleUnloadObserver(std::function<void(const std::string&)> observer) {
    g_unloadObserver = std::move(observer);
}
