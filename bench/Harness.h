// The benchmark's harness: timings taken in alternation, the rows they are
// printed as, the loop that times one call, and the scratch files the cases
// read. The benchmark is one program in three files: this harness, the
// references it measures against (References.h) and the cases (Cases.cpp).
//
// Each case runs several times after a warm-up and is set against a
// reference measured in the same run, since on a shared, noisy machine the
// ratios are what count.
#pragma once

#include "framework/Handle.h"
#include "framework/String.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

inline double Now()
{
    static LARGE_INTEGER s_frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(s_frequency.QuadPart);
}

// Hides a value from the optimiser, so that no loop can be folded away.
template <class T>
T Opaque(T value)
{
    volatile T copy = value;
    return copy;
}

inline void PrintHeader()
{
    std::printf("%-34s %10s %12s %10s %7s  %s\n", "case", "median", "throughput", "reference", "ratio", "target");
}

// A target of 0 is none: the row only shows a ratio.
inline void PrintRow(const char* name, double seconds, double bytes, double reference, double target)
{
    char throughput[32] = "";
    if (bytes > 0)
        std::snprintf(throughput, sizeof(throughput), "%.0f MiB/s", bytes / seconds / 1048576.0);
    double ratio = seconds / reference;
    char goal[32] = "-";
    if (target > 0)
        std::snprintf(goal, sizeof(goal), "<= %.2f %s", target, ratio <= target ? "met" : "MISSED");
    std::printf("%-34s %8.4f s %12s %8.4f s %7.2f  %s\n", name, seconds, throughput, reference, ratio, goal);
}

// A time per call in the width of the other rows' seconds: ns, or us from 10 us.
inline std::string CallTime(double seconds)
{
    char text[32];
    if (seconds < 1e-5)
        std::snprintf(text, sizeof(text), "%7.1f ns", seconds * 1e9);
    else
        std::snprintf(text, sizeof(text), "%7.1f us", seconds * 1e6);
    return text;
}

inline void PrintCallRow(const char* name, double seconds, double reference, double target)
{
    double ratio = seconds / reference;
    std::printf("%-34s %s %12s %s %7.2f  <= %.2f %s\n", name, CallTime(seconds).c_str(), "",
                CallTime(reference).c_str(), ratio, target, ratio <= target ? "met" : "MISSED");
}

// One run of the benchmark: the rounds a case takes, whether a case failed,
// and the sink that keeps every result alive.
class CBench
{
public:
    explicit CBench(int nRuns) : m_nRuns(nRuns) {}

    // 0, or 1 once a case has failed.
    int GetStatus() const { return m_nStatus; }

    // Medians of several timings taken in alternation (one run of each per
    // round), so that a burst of load from other work on the machine falls
    // on a case and its reference alike.
    std::vector<double> Medians(const std::vector<std::function<void()>>& fns) const
    {
        return Medians(fns, m_nRuns);
    }

    // The same over five times as many rounds, for loops of short calls, so
    // that a time slice lost to another program spoils few of them.
    std::vector<double> CallMedians(const std::vector<std::function<void()>>& fns) const
    {
        return Medians(fns, 5 * m_nRuns);
    }

    void Keep(const CString& str) { m_nSink = static_cast<unsigned>(str.GetLength()); }
    template <class T>
    void Keep(T value)
    {
        m_nSink = static_cast<unsigned>(value);
    }

    // Reports a case that cannot be measured; the run then fails.
    void Fail(const char* name, const char* why)
    {
        std::printf("%-34s %s\n", name, why);
        m_nStatus = 1;
    }

    // Times a loop of calls of fn against the same loop of ref, after
    // checking that both give the same result.
    template <class Fn, class Ref>
    void PerCall(const char* name, int calls, double target, Fn fn, Ref ref)
    {
        if (!(fn() == ref()))
        {
            Fail(name, "differs from its reference");
            return;
        }
        std::vector<double> m = CallMedians({
            [&] {
                for (int i = 0; i < calls; ++i)
                    Keep(fn());
            },
            [&] {
                for (int i = 0; i < calls; ++i)
                    Keep(ref());
            },
        });
        PrintCallRow(name, m[0] / calls, m[1] / calls, target);
    }

private:
    std::vector<double> Medians(const std::vector<std::function<void()>>& fns, int rounds) const
    {
        for (const auto& fn : fns)
            fn();
        std::vector<std::vector<double>> times(fns.size());
        for (int i = 0; i < rounds; ++i)
            for (size_t k = 0; k < fns.size(); ++k)
            {
                double start = Now();
                fns[k]();
                times[k].push_back(Now() - start);
            }
        std::vector<double> result;
        for (auto& t : times)
        {
            std::sort(t.begin(), t.end());
            result.push_back(t[t.size() / 2]);
        }
        return result;
    }

    const int m_nRuns;
    int m_nStatus = 0;
    volatile unsigned m_nSink = 0;
};

// --- scratch files --------------------------------------------------------

// The benchmark's own folder in the temporary folder, with a final "\".
inline std::string TempFolder()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + "kestrum-bench";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

// A file of size bytes, byte i being i mod 251; kept when it is there.
inline void WritePatternFile(const std::string& path, size_t size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == size &&
        data.nFileSizeHigh == 0)
        return;
    CFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<unsigned char> chunk(1 << 20);
    for (size_t done = 0; done < size; done += chunk.size())
    {
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<unsigned char>((done + i) % 251);
        DWORD written = 0;
        WriteFile(file.Get(), chunk.data(), static_cast<DWORD>(std::min(chunk.size(), size - done)), &written,
                  nullptr);
    }
}

} // namespace bench
