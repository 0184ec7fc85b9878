// The one way the program does long work: the work runs on worker threads (one, or several
// taking chunks at once) while the window's thread goes on painting and answering messages,
// shows progress, and lets a Stop request through. Input to the owner window waits until
// the work has ended, so that every command sees a finished state.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace vcm {

// What the work sees of its runner; every member may be called from any worker.
class LongWork {
public:
    // True once Stop was asked for or another chunk failed: end after the current unit.
    bool StopRequested() const noexcept { return m_stop.load(std::memory_order_relaxed); }
    // The number of units the work has (N of "n of N").
    void SetTotal(uint64_t total) noexcept { m_total.store(total, std::memory_order_relaxed); }
    // Units done since the last call (n of "n of N").
    void Advance(uint64_t units = 1) noexcept { m_done.fetch_add(units, std::memory_order_relaxed); }

    uint64_t Done() const noexcept { return m_done.load(std::memory_order_relaxed); }
    uint64_t Total() const noexcept { return m_total.load(std::memory_order_relaxed); }

private:
    friend class LongWorkRunner;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_done{0};
    std::atomic<uint64_t> m_total{0};
};

class LongWorkRunner {
public:
    // Shows n of N on the window's thread: when the count moved (a few times a second at
    // most) and once when the work has ended.
    using ProgressDisplay = std::function<void(uint64_t done, uint64_t total)>;

    // owner: the window whose input waits while work runs (with its children and popups).
    explicit LongWorkRunner(HWND owner) : m_owner(owner) {}
    LongWorkRunner(const LongWorkRunner&) = delete;
    LongWorkRunner& operator=(const LongWorkRunner&) = delete;

    void SetProgressDisplay(ProgressDisplay show) { m_show = std::move(show); }
    // A window whose input goes on being handled during the work: a progress window's Stop.
    void AddLiveWindow(HWND window) { m_live.push_back(window); }
    // Asks the work to end after its current unit; for the window's thread (a Stop button).
    void RequestStop() noexcept
    {
        m_stopAsked = true;
        m_work.m_stop = true;
    }
    // True when the last run ended because Stop was asked for.
    bool Stopped() const noexcept { return m_stopAsked; }

    // Runs work(LongWork&) on one worker thread and pumps the window's messages until it
    // ends; returns the work's result, or throws here what the work threw.
    template <class F>
    auto Run(F&& work) -> std::invoke_result_t<F&, LongWork&>
    {
        using Result = std::invoke_result_t<F&, LongWork&>;
        if constexpr (std::is_void_v<Result>) {
            RunOnWorkers(1, 1, [&](size_t, LongWork& w) { work(w); });
        } else {
            std::optional<Result> result;
            RunOnWorkers(1, 1, [&](size_t, LongWork& w) { result.emplace(work(w)); });
            return std::move(*result);
        }
    }

    // Runs chunk(i, LongWork&) for every i below chunks, on `threads` workers at once (0: as
    // many as the machine has processors), each worker taking the next chunk not yet
    // taken. The first exception stops the other workers and is thrown here when all have
    // ended.
    void RunChunks(size_t chunks, unsigned threads, const std::function<void(size_t, LongWork&)>& chunk)
    {
        RunOnWorkers(chunks, threads, chunk);
    }

    // The processors this process may run on.
    static unsigned MachineThreads();
    // True while any runner of the process has work running: ending the process then must
    // not wait for the workers.
    static bool AnyRunning() noexcept;
    // Times the window's thread woke during the last run: a handful per progress update and
    // message, never a spin.
    int Wakes() const noexcept { return m_wakes; }

private:
    void RunOnWorkers(size_t chunks, unsigned threads, const std::function<void(size_t, LongWork&)>& chunk);
    void PumpUntil(HANDLE done);
    void HandleMessages();
    bool HoldBack(const MSG& msg) const;
    bool ForOwner(HWND hwnd) const;
    void ShowProgress(bool force);
    void ReplayHeldBack();

    HWND m_owner;
    std::vector<HWND> m_live;
    ProgressDisplay m_show;
    LongWork m_work;
    bool m_stopAsked = false;
    bool m_running = false;
    int m_wakes = 0;
    uint64_t m_shownDone = ~0ull;
    uint64_t m_shownTotal = ~0ull;
    std::vector<MSG> m_heldBack;  // commands and input for the owner that arrived during the work
};

}  // namespace vcm
