#include "util/sysinfo/DirectXDiagnostics.h"

#include "util/sysinfo/DirectXFiles.h"
#include "util/sysinfo/FileVersion.h"
#include "util/sysinfo/internal/DirectXSources.h"

#include "tests/support/GuardedMemory.h"
#include "tests/support/LeakCheck.h"
#include "tests/util/sysinfo/FakeSystemFolder.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using testing_support::FakeSystemFolder;
using testing_support::GuardedBuffer;
using sysinfo_internal::CDirectXSources;

namespace {

// How the stand-in provider answers one property.
struct FakeProp
{
    bool present;
    VARTYPE vt;
    ULONG value;           // for VT_UI4 and VT_I4
    const wchar_t* text;   // for VT_BSTR; null gives a null string
};

FakeProp Unsigned(ULONG value)
{
    return FakeProp{true, VT_UI4, value, nullptr};
}

FakeProp Text(const wchar_t* text)
{
    return FakeProp{true, VT_BSTR, 0, text};
}

const FakeProp kMissing = {false, VT_EMPTY, 0, nullptr};

// What the stand-in answers, and what it saw.
struct FakeWorld
{
    HRESULT create = S_OK;
    HRESULT initialize = S_OK;
    HRESULT root = S_OK;
    HRESULT child = S_OK;
    FakeProp major = Unsigned(9);
    FakeProp minor = Unsigned(0);
    FakeProp letter = Text(L"c");

    std::vector<std::string> calls;
    DXDIAG_INIT_PARAMS params = {};
    bool variantsPrepared = true;
    bool apartmentAtCreate = false;
    bool apartmentAtLastRelease = false;
    std::string folder;   // the stand-in system folder; none when empty
};

// The thread has initialised the component runtime itself (the process's
// implicit multithreaded apartment does not count).
bool InApartment()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA;
}

// Not initialised: a first CoInitialize succeeds with S_OK (and is undone).
bool ThreadIsUninitialised()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_OK;
}

std::string Narrow(const wchar_t* text)
{
    std::string s;
    for (; *text != 0; ++text)
        s += static_cast<char>(*text);
    return s;
}

// One reference is the test's own; every reference handed out must come back.
template <typename Interface>
class FakeObject : public Interface
{
public:
    FakeObject(FakeWorld& world, const char* name) : m_world(world), m_name(name) {}
    virtual ~FakeObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        m_world.calls.push_back(std::string("release ") + m_name);
        m_world.apartmentAtLastRelease = InApartment();
        return static_cast<ULONG>(--m_refs);
    }
    long Refs() const { return m_refs; }

protected:
    FakeWorld& m_world;
    const char* m_name;

private:
    long m_refs = 1;
};

class FakeContainer : public FakeObject<IDxDiagContainer>
{
public:
    FakeContainer(FakeWorld& world, const char* name, FakeContainer* child)
        : FakeObject(world, name), m_child(child)
    {
    }

    HRESULT STDMETHODCALLTYPE GetNumberOfChildContainers(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumChildContainerNames(DWORD, LPWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChildContainer(LPCWSTR name, IDxDiagContainer** pp) override
    {
        m_world.calls.push_back(std::string(m_name) + " child " + Narrow(name));
        *pp = nullptr;
        if (m_child == nullptr || FAILED(m_world.child))
            return m_child == nullptr ? E_INVALIDARG : m_world.child;
        m_child->AddRef();
        *pp = m_child;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfProps(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumPropNames(DWORD, LPWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProp(LPCWSTR name, VARIANT* var) override
    {
        const std::string prop = Narrow(name);
        m_world.calls.push_back(std::string(m_name) + " prop " + prop);
        if (var->vt != VT_EMPTY)
            m_world.variantsPrepared = false;
        const FakeProp* p = prop == "dwDirectXVersionMajor"    ? &m_world.major
                            : prop == "dwDirectXVersionMinor"  ? &m_world.minor
                            : prop == "szDirectXVersionLetter" ? &m_world.letter
                                                               : &kMissing;
        if (m_child != nullptr || !p->present)
            return E_INVALIDARG;
        var->vt = p->vt;
        if (p->vt == VT_BSTR)
            var->bstrVal = p->text != nullptr ? SysAllocString(p->text) : nullptr;
        else
            var->ulVal = p->value;
        return S_OK;
    }

private:
    FakeContainer* m_child;
};

class FakeProvider : public FakeObject<IDxDiagProvider>
{
public:
    FakeProvider(FakeWorld& world, FakeContainer* root) : FakeObject(world, "provider"), m_root(root) {}

    HRESULT STDMETHODCALLTYPE Initialize(DXDIAG_INIT_PARAMS* params) override
    {
        m_world.calls.push_back("initialize");
        m_world.params = *params;
        return m_world.initialize;
    }
    HRESULT STDMETHODCALLTYPE GetRootContainer(IDxDiagContainer** pp) override
    {
        m_world.calls.push_back("root");
        *pp = nullptr;
        if (FAILED(m_world.root))
            return m_world.root;
        m_root->AddRef();
        *pp = m_root;
        return S_OK;
    }

private:
    FakeContainer* m_root;
};

// A stand-in provider with its two containers, and sources that hand it out.
class FakeDiagnostics
{
public:
    FakeWorld world;

    CDirectXSources Sources() { return CDirectXSources{&Folder, &Create, this}; }

    // Every reference handed out came back.
    void ExpectBalanced() const
    {
        EXPECT_EQ(1, m_provider.Refs());
        EXPECT_EQ(1, m_root.Refs());
        EXPECT_EQ(1, m_systemInfo.Refs());
    }

    std::vector<std::string> Releases() const
    {
        std::vector<std::string> releases;
        for (const std::string& call : world.calls)
        {
            if (call.compare(0, 8, "release ") == 0)
                releases.push_back(call);
        }
        return releases;
    }

private:
    static UINT Folder(void* pContext, LPSTR pszBuffer, UINT uSize)
    {
        const std::string& folder = static_cast<FakeDiagnostics*>(pContext)->world.folder;
        return testing_support::CopyFolder(folder.empty() ? nullptr : &folder, pszBuffer, uSize);
    }
    static HRESULT Create(void* pContext, IDxDiagProvider** pp)
    {
        FakeDiagnostics* self = static_cast<FakeDiagnostics*>(pContext);
        self->world.calls.push_back("create");
        self->world.apartmentAtCreate = InApartment();
        *pp = nullptr;
        if (FAILED(self->world.create))
            return self->world.create;
        self->m_provider.AddRef();
        *pp = &self->m_provider;
        return S_OK;
    }

    FakeContainer m_systemInfo{world, "system", nullptr};
    FakeContainer m_root{world, "root", &m_systemInfo};
    FakeProvider m_provider{world, &m_root};
};

struct Triple
{
    int major;
    int minor;
    char letter;
};

// Runs on a thread of its own that has not touched the component runtime.
template <typename F>
void OnFreshThread(F f)
{
    std::thread(f).join();
}

HRESULT Detect(FakeDiagnostics& fake, Triple& t)
{
    t = Triple{0x5A5A5A5A, 0x5A5A5A5A, 'X'};
    HRESULT hr = E_UNEXPECTED;
    OnFreshThread([&] { hr = sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), &t.major, &t.minor, &t.letter); });
    return hr;
}

struct Query
{
    bool result;
    int number;
    std::string text;
};

Query QueryWith(FakeDiagnostics& fake)
{
    Query q{false, 0x5A5A5A5A, std::string()};
    char text[32];
    std::memset(text, 'Z', sizeof(text));
    OnFreshThread([&] { q.result = sysinfo_internal::QueryDirectXVersion(fake.Sources(), &q.number, text, sizeof(text)); });
    q.text = text;
    return q;
}

} // namespace

TEST(DetectDirectXByDiagnostics, AsksTheProviderInOrderAndReleasesInReverse)
{
    FakeDiagnostics fake;
    Triple t;
    ASSERT_EQ(S_OK, Detect(fake, t));
    EXPECT_EQ(9, t.major);
    EXPECT_EQ(0, t.minor);
    EXPECT_EQ('c', t.letter);
    const std::vector<std::string> expected = {
        "create",
        "initialize",
        "root",
        "root child DxDiag_SystemInfo",
        "system prop dwDirectXVersionMajor",
        "system prop dwDirectXVersionMinor",
        "system prop szDirectXVersionLetter",
        "release system",
        "release root",
        "release provider",
    };
    EXPECT_EQ(expected, fake.world.calls);
    fake.ExpectBalanced();
    EXPECT_EQ(16u, fake.world.params.dwSize);
    EXPECT_EQ(111u, fake.world.params.dwDxDiagHeaderVersion);
    EXPECT_FALSE(fake.world.params.bAllowWHQLChecks);
    EXPECT_EQ(nullptr, fake.world.params.pReserved);
    EXPECT_TRUE(fake.world.variantsPrepared);
    EXPECT_TRUE(fake.world.apartmentAtCreate);
    EXPECT_TRUE(fake.world.apartmentAtLastRelease) << "the provider goes before the apartment";
}

TEST(DetectDirectXByDiagnostics, LettersAndPropertyFaults)
{
    const struct Row
    {
        const char* what;
        FakeProp major, minor, letter;
        HRESULT expected;
        Triple got;   // 'X' and 0x5A5A5A5A: not written
    } rows[] = {
        {"letter B", Unsigned(8), Unsigned(1), Text(L"B"), S_OK, {8, 1, 'B'}},
        {"digit letter", Unsigned(9), Unsigned(0), Text(L"1"), S_OK, {9, 0, '1'}},
        {"space letter", Unsigned(9), Unsigned(0), Text(L" "), S_OK, {9, 0, ' '}},
        {"empty letter", Unsigned(9), Unsigned(0), Text(L""), S_OK, {9, 0, '\0'}},
        {"longest letter text that fits", Unsigned(9), Unsigned(0), Text(L"bcdefghij"), S_OK, {9, 0, 'b'}},
        {"over-long letter text", Unsigned(9), Unsigned(0), Text(L"bcdefghijk"), S_OK, {9, 0, ' '}},
        {"much too long", Unsigned(9), Unsigned(0), Text(L"qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"), S_OK, {9, 0, ' '}},
        {"missing letter", Unsigned(9), Unsigned(0), kMissing, E_FAIL, {9, 0, 'X'}},
        {"null letter string", Unsigned(9), Unsigned(0), Text(nullptr), E_FAIL, {9, 0, 'X'}},
        {"letter as a number", Unsigned(9), Unsigned(0), Unsigned(3), E_FAIL, {9, 0, 'X'}},
        {"signed major", FakeProp{true, VT_I4, 9, nullptr}, Unsigned(0), Text(L"c"), E_FAIL, {0x5A5A5A5A, 0, 'c'}},
        {"missing minor", Unsigned(9), kMissing, Text(L"c"), E_FAIL, {9, 0x5A5A5A5A, 'c'}},
        {"large values", Unsigned(0xFFFFFFFF), Unsigned(256), Text(L"a"), S_OK, {-1, 256, 'a'}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeDiagnostics fake;
        fake.world.major = row.major;
        fake.world.minor = row.minor;
        fake.world.letter = row.letter;
        Triple t;
        EXPECT_EQ(row.expected, Detect(fake, t));
        EXPECT_EQ(row.got.major, t.major);
        EXPECT_EQ(row.got.minor, t.minor);
        EXPECT_EQ(row.got.letter, t.letter);
        EXPECT_EQ(10u, fake.world.calls.size()) << "all three asked, all three released";
        fake.ExpectBalanced();
    }
}

TEST(DetectDirectXByDiagnostics, FailedStepsReleaseWhatWasObtained)
{
    const struct Row
    {
        const char* what;
        HRESULT FakeWorld::*step;
        std::vector<std::string> releases;
    } rows[] = {
        {"creation", &FakeWorld::create, {}},
        {"initialisation", &FakeWorld::initialize, {"release provider"}},
        {"root container", &FakeWorld::root, {"release provider"}},
        {"system container", &FakeWorld::child, {"release root", "release provider"}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeDiagnostics fake;
        fake.world.*row.step = E_NOINTERFACE;
        Triple t;
        EXPECT_EQ(E_FAIL, Detect(fake, t));
        EXPECT_EQ(0x5A5A5A5A, t.major);
        EXPECT_EQ(0x5A5A5A5A, t.minor);
        EXPECT_EQ('X', t.letter);
        EXPECT_EQ(row.releases, fake.Releases());
        fake.ExpectBalanced();
    }
}

TEST(DetectDirectXByDiagnostics, NullOutPointers)
{
    FakeDiagnostics fake;
    HRESULT hr = E_UNEXPECTED;
    OnFreshThread([&] { hr = sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), nullptr, nullptr, nullptr); });
    EXPECT_EQ(S_OK, hr);
    fake.ExpectBalanced();
}

// The thread is left in the apartment state it was found in.
TEST(DetectDirectXByDiagnostics, BalancesTheComponentRuntime)
{
    for (HRESULT create : {S_OK, E_NOINTERFACE})
    {
        SCOPED_TRACE(create == S_OK ? "provider made" : "no provider");
        FakeDiagnostics fake;
        fake.world.create = create;
        OnFreshThread([&] {
            sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), nullptr, nullptr, nullptr);
            EXPECT_TRUE(ThreadIsUninitialised()) << "CoInitialize without CoUninitialize";
        });
        EXPECT_TRUE(fake.world.apartmentAtCreate);

        // Already single-threaded: one CoInitialize more, one CoUninitialize more.
        OnFreshThread([&] {
            ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
            sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), nullptr, nullptr, nullptr);
            EXPECT_TRUE(InApartment());
            CoUninitialize();
            EXPECT_TRUE(ThreadIsUninitialised()) << "the call left an extra initialisation";
        });

        // Multithreaded: CoInitialize fails, so CoUninitialize must not come.
        OnFreshThread([&] {
            ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            fake.world.apartmentAtCreate = false;
            sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), nullptr, nullptr, nullptr);
            EXPECT_TRUE(fake.world.apartmentAtCreate) << "the provider is made in the thread's own apartment";
            APTTYPE type = APTTYPE_STA;
            APTTYPEQUALIFIER qualifier;
            EXPECT_EQ(S_OK, CoGetApartmentType(&type, &qualifier));
            EXPECT_EQ(APTTYPE_MTA, type);
            // S_FALSE: still initialised once, as before the call.
            EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            CoUninitialize();
            CoUninitialize();
        });
        fake.ExpectBalanced();
    }
}

TEST(QueryDirectXVersion, NumberAndTextFromTheProvider)
{
    const struct Row
    {
        const char* what;
        ULONG major, minor;
        const wchar_t* letter;
        int number;
        const char* text;
    } rows[] = {
        {"9.0", 9, 0, L" ", 0x90000, "9.0"},
        {"8.1B", 8, 1, L"B", 0x80102, "8.1b"},
        {"9.0c", 9, 0, L"c", 0x90003, "9.0c"},
        {"7.0a", 7, 0, L"a", 0x70001, "7.0a"},
        {"9.0z", 9, 0, L"Z", 0x9001A, "9.0z"},
        {"digit letter", 9, 0, L"1", 0x90000, "9.01"},
        {"empty letter", 9, 0, L"", 0x90000, "9.0"},
        {"over-long letter", 9, 0, L"bcdefghijk", 0x90000, "9.0"},
        {"minor carries", 1, 256, L" ", 0x20000, "1.256"},
        {"minor 255", 1, 255, L" ", 0x1FF00, "1.255"},
        {"major past 16 bits", 0x10000, 0, L" ", 0, "65536.0"},
        {"major as signed", 0xFFFFFFFF, 0, L" ", static_cast<int>(0xFFFF0000), "-1.0"},
        {"backquote is no letter", 9, 0, L"`", 0x90000, "9.0`"},
        {"brace is no letter", 9, 0, L"{", 0x90000, "9.0{"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeDiagnostics fake;
        fake.world.major = Unsigned(row.major);
        fake.world.minor = Unsigned(row.minor);
        fake.world.letter = Text(row.letter);
        const Query q = QueryWith(fake);
        EXPECT_TRUE(q.result);
        EXPECT_EQ(row.number, q.number) << std::hex << q.number;
        EXPECT_EQ(row.text, q.text);
        fake.ExpectBalanced();
    }
}

TEST(QueryDirectXVersion, FallsBackToTheFiles)
{
    SKIP_WITHOUT_FIXTURE_FOLDER();
    FakeSystemFolder folder;
    folder.Add("ddraw.dll", MakeModuleVersion(4, 6, 0, 436));
    folder.Add("dplayx.dll", MakeModuleVersion(4, 6, 3, 518));
    const struct Row
    {
        const char* what;
        HRESULT create;
        FakeProp major, letter;
    } rows[] = {
        {"no provider", E_NOINTERFACE, Unsigned(9), Text(L"c")},
        {"missing letter", S_OK, Unsigned(9), kMissing},
        {"signed major", S_OK, FakeProp{true, VT_I4, 9, nullptr}, Text(L"c")},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeDiagnostics fake;
        fake.world.create = row.create;
        fake.world.major = row.major;
        fake.world.letter = row.letter;
        fake.world.folder = folder.Folder();
        const Query q = QueryWith(fake);
        EXPECT_TRUE(q.result);
        EXPECT_EQ(0x60101, q.number) << std::hex << q.number;
        EXPECT_EQ("6.1a", q.text);
        fake.ExpectBalanced();

        // Nothing of the provider's partial answer survives a fall-back that
        // finds nothing either.
        fake.world.folder.clear();
        const Query none = QueryWith(fake);
        EXPECT_TRUE(none.result);
        EXPECT_EQ(0, none.number);
        EXPECT_EQ("0.0", none.text);
    }
}

// The text lands in exactly nLength bytes, cut and terminated, the last byte
// always zero; a write one byte too far hits the guard page.
TEST(QueryDirectXVersion, TextBufferSizes)
{
    const char* full = "9.0c";
    for (int length = 0; length <= 8; ++length)
    {
        SCOPED_TRACE(testing::Message() << "length " << length);
        GuardedBuffer buffer(static_cast<size_t>(length));
        std::memset(buffer.Data(), 'Z', buffer.Size());
        FakeDiagnostics fake;
        int number = 0;
        bool result = false;
        OnFreshThread([&] { result = sysinfo_internal::QueryDirectXVersion(fake.Sources(), &number, buffer.Data(), length); });
        EXPECT_TRUE(result);
        EXPECT_EQ(0x90003, number);
        if (length == 0)
            continue;
        const size_t textLength = std::min<size_t>(static_cast<size_t>(length) - 1, std::strlen(full));
        EXPECT_EQ(std::string(full, textLength), std::string(buffer.Data()));
        EXPECT_EQ(0, buffer.Data()[length - 1]);
        for (size_t i = textLength + 1; i + 1 < static_cast<size_t>(length); ++i)
            EXPECT_EQ('Z', buffer.Data()[i]) << "byte " << i;
    }
}

TEST(QueryDirectXVersion, NullAndNonPositiveOutputsAreSkipped)
{
    FakeDiagnostics fake;
    char text[8];
    std::memset(text, 'Z', sizeof(text));
    int number = 0x5A5A5A5A;
    OnFreshThread([&] {
        EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), nullptr, nullptr, 8));
        EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), nullptr, text, 0));
        EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), &number, text, -1));
        EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), &number, nullptr, 8));
    });
    EXPECT_EQ(std::string(8, 'Z'), std::string(text, 8));
    EXPECT_EQ(0x90003, number);
    fake.ExpectBalanced();
}

// Against the platform's own provider and files: whatever release this
// platform reports, number and text agree with the triple.
TEST(QueryDirectXVersion, RealProvider)
{
    Triple t{-1, -1, 'X'};
    HRESULT hr = E_UNEXPECTED;
    OnFreshThread([&] { hr = DetectDirectXByDiagnostics(&t.major, &t.minor, &t.letter); });
    ASSERT_EQ(S_OK, hr) << "the platform's diagnostic provider did not answer";
    EXPECT_GE(t.major, 1);
    EXPECT_LE(t.major, 99);
    EXPECT_GE(t.minor, 0);
    EXPECT_LE(t.minor, 255);

    int number = 0;
    char text[32];
    bool result = false;
    OnFreshThread([&] { result = QueryDirectXVersion(&number, text, sizeof(text)); });
    EXPECT_TRUE(result);
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(t.letter)));
    char expected[32];
    if (letter == ' ')
        std::snprintf(expected, sizeof(expected), "%d.%d", t.major, t.minor);
    else
        std::snprintf(expected, sizeof(expected), "%d.%d%c", t.major, t.minor, letter);
    EXPECT_EQ(std::string(expected), text);
    EXPECT_EQ((t.major << 16) + (t.minor << 8) + (letter >= 'a' && letter <= 'z' ? letter - 'a' + 1 : 0), number);
    EXPECT_TRUE(QueryDirectXVersion(nullptr, nullptr, 0));
}

TEST(DetectDirectXByDiagnostics, RepeatedCallsLeakNothing)
{
    FakeDiagnostics fake;
    fake.world.letter = Text(L"qqqqqqqqqqqqqqqqqqqqqqqqqqqqqq");
    auto round = [&] {
        Triple t{};
        sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), &t.major, &t.minor, &t.letter);
        int number = 0;
        char text[8];
        sysinfo_internal::QueryDirectXVersion(fake.Sources(), &number, text, sizeof(text));
        fake.world.calls.clear();
    };
    OnFreshThread([&] { testing_support::ExpectNoLeaks(round, 250, {2}); });
    fake.ExpectBalanced();
}

namespace {

// The platform's provider asked for the same three properties directly, each
// object released once: what the provider itself costs per call.
void BareProviderRound()
{
    CoInitialize(nullptr);
    IDxDiagProvider* provider = nullptr;
    if (SUCCEEDED(CoCreateInstance(sysinfo_internal::kClsidDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER,
                                   sysinfo_internal::kIidDxDiagProvider, reinterpret_cast<void**>(&provider))))
    {
        DXDIAG_INIT_PARAMS params = {};
        params.dwSize = sizeof(params);
        params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
        IDxDiagContainer* root = nullptr;
        if (SUCCEEDED(provider->Initialize(&params)) && SUCCEEDED(provider->GetRootContainer(&root)))
        {
            IDxDiagContainer* system = nullptr;
            if (SUCCEEDED(root->GetChildContainer(L"DxDiag_SystemInfo", &system)))
            {
                for (const wchar_t* name : {L"dwDirectXVersionMajor", L"dwDirectXVersionMinor", L"szDirectXVersionLetter"})
                {
                    VARIANT var;
                    VariantInit(&var);
                    system->GetProp(name, &var);
                    VariantClear(&var);
                }
                system->Release();
            }
            root->Release();
        }
        provider->Release();
    }
    CoUninitialize();
}

} // namespace

// Wine's provider keeps some handles of every initialisation for good, so
// the real provider is measured against the same calls made directly.
TEST(DetectDirectXByDiagnostics, RealProviderCostsNoMoreThanBareCalls)
{
    const int kCalls = 3;
    OnFreshThread([&] {
        BareProviderRound();
        ASSERT_EQ(S_OK, DetectDirectXByDiagnostics(nullptr, nullptr, nullptr));
        const size_t start = testing_support::CountOpenHandles();
        for (int i = 0; i < kCalls; ++i)
            BareProviderRound();
        const size_t bare = testing_support::CountOpenHandles();
        for (int i = 0; i < kCalls; ++i)
            ASSERT_EQ(S_OK, DetectDirectXByDiagnostics(nullptr, nullptr, nullptr));
        const size_t ours = testing_support::CountOpenHandles();
        EXPECT_LE(ours - bare, bare - start + 2) << "bare calls added " << bare - start;
    });
}
