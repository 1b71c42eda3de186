// Loading of the project's own modules (resource module, engine modules) by bare name.
//
// A bare name "zivuvore" is looked for as libzivuvore.so in the module folder (the folder of
// the running program unless a test moves it), then by the system's usual library search.
// A missing module is never fatal here: callers decide what its absence means.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QLibrary;

class Module {
public:
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The module for a bare name, or null when it cannot be loaded.
    static std::unique_ptr<Module> Load(const std::string& bareName);
    // The module at a full file path, or null.
    static std::unique_ptr<Module> LoadFile(const std::string& path);

    // The address of an exported symbol, or null.
    void* Resolve(const char* symbol) const;
    template <typename Fn>
    Fn ResolveAs(const char* symbol) const {
        return reinterpret_cast<Fn>(Resolve(symbol));
    }

    const std::string& name() const { return m_name; }
    const std::string& path() const { return m_path; }

private:
    Module(std::unique_ptr<QLibrary> library, std::string name, std::string path);

    std::unique_ptr<QLibrary> m_library;
    std::string m_name;
    std::string m_path;
};

// The folder the modules are looked for in: the program's own folder by default.
std::string ModuleFolder();
void SetModuleFolder(const std::string& folder);

// The platform file name of a bare module name: "rvkhelper" -> "librvkhelper.so".
std::string ModuleFileName(const std::string& bareName);

// Called with the module's bare name whenever a module is unloaded (tests watch the order).
void SetModuleUnloadObserver(std::function<void(const std::string&)> observer);
