#include "util/sysinfo/DirectXDiagnostics.h"

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
#include <cwchar>
#include <string>
#include <thread>

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
const FakeProp kSignedNine = {true, VT_I4, 9, nullptr};

// What the stand-in answers.
struct FakeAnswers
{
    HRESULT create = S_OK;
    HRESULT initialize = S_OK;
    HRESULT root = S_OK;
    HRESULT child = S_OK;
    FakeProp major = Unsigned(9);
    FakeProp minor = Unsigned(0);
    FakeProp letter = Text(L"c");
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

// One reference is the test's own. Every reference handed out must come back
// once, while the apartment it was handed out in still stands; anything else
// sets the fault flag.
template <typename Interface>
class FakeObject : public Interface
{
public:
    explicit FakeObject(bool& bFault) : m_bFault(bFault) {}
    virtual ~FakeObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (m_refs <= 1 || !InApartment())
            m_bFault = true;
        return static_cast<ULONG>(--m_refs);
    }
    long Refs() const { return m_refs; }

    template <typename Wanted>
    HRESULT HandOut(Wanted** pp)
    {
        AddRef();
        *pp = this;
        return S_OK;
    }

private:
    bool& m_bFault;
    long m_refs = 1;
};

// Answers as the platform's containers do: the root has the one child
// "DxDiag_SystemInfo", which has the three properties; a property goes into
// a variant prepared by VariantInit.
class FakeContainer : public FakeObject<IDxDiagContainer>
{
public:
    FakeContainer(const FakeAnswers& answers, bool& bFault, FakeContainer* child)
        : FakeObject(bFault), m_answers(answers), m_child(child)
    {
    }

    HRESULT STDMETHODCALLTYPE GetNumberOfChildContainers(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumChildContainerNames(DWORD, LPWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChildContainer(LPCWSTR name, IDxDiagContainer** pp) override
    {
        *pp = nullptr;
        if (m_child == nullptr || std::wcscmp(name, L"DxDiag_SystemInfo") != 0)
            return E_INVALIDARG;
        return FAILED(m_answers.child) ? m_answers.child : m_child->HandOut(pp);
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfProps(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumPropNames(DWORD, LPWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProp(LPCWSTR name, VARIANT* var) override
    {
        const FakeProp* p = std::wcscmp(name, L"dwDirectXVersionMajor") == 0    ? &m_answers.major
                            : std::wcscmp(name, L"dwDirectXVersionMinor") == 0  ? &m_answers.minor
                            : std::wcscmp(name, L"szDirectXVersionLetter") == 0 ? &m_answers.letter
                                                                                 : &kMissing;
        if (m_child != nullptr || !p->present || var->vt != VT_EMPTY)
            return E_INVALIDARG;
        var->vt = p->vt;
        if (p->vt == VT_BSTR)
            var->bstrVal = p->text != nullptr ? SysAllocString(p->text) : nullptr;
        else
            var->ulVal = p->value;
        return S_OK;
    }

private:
    const FakeAnswers& m_answers;
    FakeContainer* m_child;
};

// Hands out its root only once initialised with the record of this header
// version, signature checks off.
class FakeProvider : public FakeObject<IDxDiagProvider>
{
public:
    FakeProvider(const FakeAnswers& answers, bool& bFault, FakeContainer& root)
        : FakeObject(bFault), m_answers(answers), m_root(root)
    {
    }

    void Reset() { m_bInitialized = false; }

    HRESULT STDMETHODCALLTYPE Initialize(DXDIAG_INIT_PARAMS* params) override
    {
        if (params->dwSize != sizeof(*params) || params->dwDxDiagHeaderVersion != DXDIAG_DX9_SDK_VERSION ||
            params->bAllowWHQLChecks || params->pReserved != nullptr)
            return E_INVALIDARG;
        m_bInitialized = SUCCEEDED(m_answers.initialize);
        return m_answers.initialize;
    }
    HRESULT STDMETHODCALLTYPE GetRootContainer(IDxDiagContainer** pp) override
    {
        *pp = nullptr;
        if (!m_bInitialized)
            return CO_E_NOTINITIALIZED;
        return FAILED(m_answers.root) ? m_answers.root : m_root.HandOut(pp);
    }

private:
    const FakeAnswers& m_answers;
    FakeContainer& m_root;
    bool m_bInitialized = false;
};

// A stand-in provider with its two containers, and sources that hand it out
// as CoCreateInstance would: only to a thread that initialised the runtime.
class FakeDiagnostics
{
public:
    FakeAnswers answers;

    CDirectXSources Sources() { return CDirectXSources{&Folder, &Create, this}; }

    // Every reference handed out came back once, in its apartment.
    void ExpectBalanced() const
    {
        EXPECT_EQ(1, m_provider.Refs());
        EXPECT_EQ(1, m_root.Refs());
        EXPECT_EQ(1, m_systemInfo.Refs());
        EXPECT_FALSE(m_bFault) << "a reference released twice, or after CoUninitialize";
    }

private:
    static UINT Folder(void* pContext, LPSTR pszBuffer, UINT uSize)
    {
        const std::string& folder = static_cast<FakeDiagnostics*>(pContext)->answers.folder;
        return testing_support::CopyFolder(folder.empty() ? nullptr : &folder, pszBuffer, uSize);
    }
    static HRESULT Create(void* pContext, IDxDiagProvider** pp)
    {
        FakeDiagnostics* self = static_cast<FakeDiagnostics*>(pContext);
        *pp = nullptr;
        if (!InApartment())
            return CO_E_NOTINITIALIZED;
        if (FAILED(self->answers.create))
            return self->answers.create;
        self->m_provider.Reset();
        return self->m_provider.HandOut(pp);
    }

    bool m_bFault = false;
    FakeContainer m_systemInfo{answers, m_bFault, nullptr};
    FakeContainer m_root{answers, m_bFault, &m_systemInfo};
    FakeProvider m_provider{answers, m_bFault, m_root};
};

// Runs on a thread of its own that has not touched the component runtime.
template <typename F>
void OnFreshThread(F f)
{
    std::thread(f).join();
}

struct Triple
{
    int major;
    int minor;
    char letter;
};

const int kUnwritten = 0x5A5A5A5A;

struct Query
{
    bool result;
    int number;
    std::string text;
};

Query QueryWith(FakeDiagnostics& fake)
{
    Query q{false, kUnwritten, std::string()};
    char text[32];
    std::memset(text, 'Z', sizeof(text));
    OnFreshThread(
        [&] { q.result = sysinfo_internal::QueryDirectXVersion(fake.Sources(), &q.number, text, sizeof(text)); });
    q.text = text;
    return q;
}

} // namespace

// What the provider answers, and what the two operations answer from it; a
// null out-pointer never changes the result. Without a system folder the
// files find nothing, so a failed provider gives 0 and "0.0".
TEST(DirectXDiagnostics, Answers)
{
    const int N = kUnwritten;
    const struct Row
    {
        const char* what;
        HRESULT FakeAnswers::*failingStep;   // null: every step succeeds
        FakeProp major, minor, letter;
        HRESULT expected;
        Triple got;   // N and 'X': not written
        int number;
        const char* text;
    } rows[] = {
        {"9.0c", nullptr, Unsigned(9), Unsigned(0), Text(L"c"), S_OK, {9, 0, 'c'}, 0x90003, "9.0c"},
        {"9.0", nullptr, Unsigned(9), Unsigned(0), Text(L" "), S_OK, {9, 0, ' '}, 0x90000, "9.0"},
        {"8.1B", nullptr, Unsigned(8), Unsigned(1), Text(L"B"), S_OK, {8, 1, 'B'}, 0x80102, "8.1b"},
        {"7.0a", nullptr, Unsigned(7), Unsigned(0), Text(L"a"), S_OK, {7, 0, 'a'}, 0x70001, "7.0a"},
        {"9.0Z", nullptr, Unsigned(9), Unsigned(0), Text(L"Z"), S_OK, {9, 0, 'Z'}, 0x9001A, "9.0z"},
        {"digit letter", nullptr, Unsigned(9), Unsigned(0), Text(L"1"), S_OK, {9, 0, '1'}, 0x90000, "9.01"},
        {"backquote is no letter", nullptr, Unsigned(9), Unsigned(0), Text(L"`"), S_OK, {9, 0, '`'}, 0x90000, "9.0`"},
        {"brace is no letter", nullptr, Unsigned(9), Unsigned(0), Text(L"{"), S_OK, {9, 0, '{'}, 0x90000, "9.0{"},
        {"empty letter", nullptr, Unsigned(9), Unsigned(0), Text(L""), S_OK, {9, 0, '\0'}, 0x90000, "9.0"},
        {"longest letter text that fits", nullptr, Unsigned(9), Unsigned(0), Text(L"bcdefghij"), S_OK, {9, 0, 'b'},
         0x90002, "9.0b"},
        {"over-long letter text", nullptr, Unsigned(9), Unsigned(0), Text(L"bcdefghijk"), S_OK, {9, 0, ' '}, 0x90000,
         "9.0"},
        {"much too long", nullptr, Unsigned(9), Unsigned(0), Text(L"qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"), S_OK,
         {9, 0, ' '}, 0x90000, "9.0"},
        {"minor carries", nullptr, Unsigned(1), Unsigned(256), Text(L" "), S_OK, {1, 256, ' '}, 0x20000, "1.256"},
        {"minor 255", nullptr, Unsigned(1), Unsigned(255), Text(L" "), S_OK, {1, 255, ' '}, 0x1FF00, "1.255"},
        {"major past 16 bits", nullptr, Unsigned(0x10000), Unsigned(0), Text(L" "), S_OK, {0x10000, 0, ' '}, 0,
         "65536.0"},
        {"largest values", nullptr, Unsigned(0xFFFFFFFF), Unsigned(256), Text(L"a"), S_OK, {-1, 256, 'a'}, 1,
         "-1.256a"},
        // A missing property still lets the others be read.
        {"missing letter", nullptr, Unsigned(9), Unsigned(0), kMissing, E_FAIL, {9, 0, 'X'}, 0, "0.0"},
        {"null letter string", nullptr, Unsigned(9), Unsigned(0), Text(nullptr), E_FAIL, {9, 0, 'X'}, 0, "0.0"},
        {"letter as a number", nullptr, Unsigned(9), Unsigned(0), Unsigned(3), E_FAIL, {9, 0, 'X'}, 0, "0.0"},
        {"signed major", nullptr, kSignedNine, Unsigned(0), Text(L"c"), E_FAIL, {N, 0, 'c'}, 0, "0.0"},
        {"missing minor", nullptr, Unsigned(9), kMissing, Text(L"c"), E_FAIL, {9, N, 'c'}, 0, "0.0"},
        // A failed step ends it.
        {"no provider", &FakeAnswers::create, Unsigned(9), Unsigned(0), Text(L"c"), E_FAIL, {N, N, 'X'}, 0, "0.0"},
        {"initialisation fails", &FakeAnswers::initialize, Unsigned(9), Unsigned(0), Text(L"c"), E_FAIL,
         {N, N, 'X'}, 0, "0.0"},
        {"no root container", &FakeAnswers::root, Unsigned(9), Unsigned(0), Text(L"c"), E_FAIL, {N, N, 'X'}, 0,
         "0.0"},
        {"no system container", &FakeAnswers::child, Unsigned(9), Unsigned(0), Text(L"c"), E_FAIL, {N, N, 'X'}, 0,
         "0.0"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeDiagnostics fake;
        if (row.failingStep != nullptr)
            fake.answers.*row.failingStep = E_NOINTERFACE;
        fake.answers.major = row.major;
        fake.answers.minor = row.minor;
        fake.answers.letter = row.letter;
        Triple t{N, N, 'X'};
        HRESULT hr = E_UNEXPECTED;
        HRESULT hrWithoutOutputs = E_UNEXPECTED;
        OnFreshThread([&] {
            hr = sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), &t.major, &t.minor, &t.letter);
            hrWithoutOutputs = sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), nullptr, nullptr, nullptr);
        });
        EXPECT_EQ(row.expected, hr);
        EXPECT_EQ(row.expected, hrWithoutOutputs);
        EXPECT_EQ(row.got.major, t.major);
        EXPECT_EQ(row.got.minor, t.minor);
        EXPECT_EQ(row.got.letter, t.letter);

        const Query q = QueryWith(fake);
        EXPECT_TRUE(q.result);
        EXPECT_EQ(row.number, q.number) << std::hex << q.number;
        EXPECT_EQ(row.text, q.text);
        fake.ExpectBalanced();
    }
}

// The thread is left in the apartment state it was found in, and the
// provider is made in the thread's own apartment.
TEST(DetectDirectXByDiagnostics, BalancesTheComponentRuntime)
{
    for (HRESULT create : {S_OK, E_NOINTERFACE})
    {
        SCOPED_TRACE(create == S_OK ? "provider made" : "no provider");
        FakeDiagnostics fake;
        fake.answers.create = create;
        const HRESULT expected = create == S_OK ? S_OK : E_FAIL;
        auto detect = [&] {
            return sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), nullptr, nullptr, nullptr);
        };
        OnFreshThread([&] {
            EXPECT_EQ(expected, detect());
            EXPECT_TRUE(ThreadIsUninitialised()) << "CoInitialize without CoUninitialize";
        });

        // Already single-threaded: one CoInitialize more, one CoUninitialize more.
        OnFreshThread([&] {
            ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
            EXPECT_EQ(expected, detect());
            EXPECT_TRUE(InApartment());
            CoUninitialize();
            EXPECT_TRUE(ThreadIsUninitialised()) << "the call left an extra initialisation";
        });

        // Multithreaded: CoInitialize fails, so CoUninitialize must not come.
        OnFreshThread([&] {
            ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            EXPECT_EQ(expected, detect());
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
        {"signed major", S_OK, kSignedNine, Text(L"c")},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeDiagnostics fake;
        fake.answers.create = row.create;
        fake.answers.major = row.major;
        fake.answers.letter = row.letter;
        fake.answers.folder = folder.Folder();
        const Query q = QueryWith(fake);
        EXPECT_TRUE(q.result);
        EXPECT_EQ(0x60101, q.number) << std::hex << q.number;
        EXPECT_EQ("6.1a", q.text);
        fake.ExpectBalanced();
    }
}

// The text lands in exactly nLength bytes, cut and terminated, the last byte
// always zero; a write one byte too far hits the guard page, so a length of
// 0 or less must leave the buffer alone. A null buffer or number skips that
// output only.
TEST(QueryDirectXVersion, OutputSizes)
{
    const char* full = "9.0c";
    for (int length = -1; length <= 8; ++length)
    {
        SCOPED_TRACE(testing::Message() << "length " << length);
        GuardedBuffer buffer(static_cast<size_t>(std::max(length, 0)));
        std::memset(buffer.Data(), 'Z', buffer.Size());
        FakeDiagnostics fake;
        int number = kUnwritten;
        OnFreshThread([&] {
            EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), nullptr, nullptr, length));
            EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), &number, nullptr, length));
            EXPECT_TRUE(sysinfo_internal::QueryDirectXVersion(fake.Sources(), nullptr, buffer.Data(), length));
        });
        EXPECT_EQ(0x90003, number);
        fake.ExpectBalanced();
        if (length <= 0)
            continue;
        const size_t textLength = std::min<size_t>(static_cast<size_t>(length) - 1, std::strlen(full));
        EXPECT_EQ(std::string(full, textLength), std::string(buffer.Data()));
        EXPECT_EQ(0, buffer.Data()[length - 1]);
        for (size_t i = textLength + 1; i + 1 < static_cast<size_t>(length); ++i)
            EXPECT_EQ('Z', buffer.Data()[i]) << "byte " << i;
    }
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
    fake.answers.letter = Text(L"qqqqqqqqqqqqqqqqqqqqqqqqqqqqqq");
    auto round = [&] {
        Triple t{};
        sysinfo_internal::DetectDirectXByDiagnostics(fake.Sources(), &t.major, &t.minor, &t.letter);
        int number = 0;
        char text[8];
        sysinfo_internal::QueryDirectXVersion(fake.Sources(), &number, text, sizeof(text));
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
                for (const wchar_t* name :
                     {L"dwDirectXVersionMajor", L"dwDirectXVersionMinor", L"szDirectXVersionLetter"})
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
