// Loads a copy of the built Kestrum.ocx from a scratch folder, so each test
// decides what lies beside the module.
#pragma once

#include "tests/support/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// The module file that the export, import and resource checks read: the
// built Kestrum.ocx beside the tests, or the one KESTRUM_MODULE_FILE names
// (a module of another build, perhaps of the other width).
inline std::string ModuleFile()
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KESTRUM_MODULE_FILE", path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path) : testing_support::ExeDir() + "Kestrum.ocx";
}
inline bool ChecksOwnModule()
{
    return GetEnvironmentVariableA("KESTRUM_MODULE_FILE", nullptr, 0) == 0;
}

class LoadedModule
{
public:
    // Copies Kestrum.ocx (from beside the test executable) into folder under
    // the given file name and loads it.
    LoadedModule(const std::string& folder, const std::string& fileName = "Kestrum.ocx")
    {
        m_path = folder + fileName;
        std::string built = testing_support::ExeDir() + "Kestrum.ocx";
        if (!CopyFileA(built.c_str(), m_path.c_str(), FALSE))
            ADD_FAILURE() << "cannot copy " << built;
        m_module = LoadLibraryA(m_path.c_str());
        if (m_module == nullptr)
            ADD_FAILURE() << "cannot load " << m_path << ", error " << GetLastError();
    }
    ~LoadedModule()
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    HMODULE Handle() const { return m_module; }
    FARPROC Export(const char* name) const { return m_module ? GetProcAddress(m_module, name) : nullptr; }
    FARPROC Export(WORD ordinal) const
    {
        return m_module ? GetProcAddress(m_module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))) : nullptr;
    }

    // An export as a typed function pointer; the cast goes through void* as
    // the loader's untyped pointer must.
    template <typename Fn, typename Key>
    Fn ExportAs(Key key) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(Export(key)));
    }

    HRESULT Register() const
    {
        auto fn = ExportAs<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
        return fn ? fn() : E_NOTIMPL;
    }

private:
    std::string m_path;
    HMODULE m_module = nullptr;
};
