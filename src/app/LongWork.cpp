#include "app/LongWork.h"

#include <cassert>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

namespace {

// How often the progress display may change while the work runs.
constexpr DWORD kProgressEveryMs = 100;

std::atomic<int> g_running{0};

// Every message but keys and client-area mouse messages.
constexpr std::pair<UINT, UINT> kAllButInput[] = {
    {0, WM_KEYFIRST - 1}, {WM_KEYLAST + 1, WM_MOUSEFIRST - 1}, {WM_MOUSELAST + 1, 0xFFFFFFFF}};

bool IsNonClientMouse(UINT msg) { return msg >= WM_NCMOUSEMOVE && msg <= WM_NCXBUTTONDBLCLK; }

void Dispatch(MSG& msg)
{
    if (PreTranslateForForm(msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// The workers' common state; the last worker to finish signals `done`.
struct Crew {
    std::atomic<size_t> next{0};
    std::atomic<unsigned> running{0};
    std::mutex lock;
    std::exception_ptr failure;
    UniqueHandle done;
};

void WorkerLoop(Crew& crew, size_t chunks, LongWork& work, const std::function<void(size_t, LongWork&)>& chunk,
                std::atomic<bool>& stop)
{
    while (!stop.load(std::memory_order_relaxed)) {
        const size_t index = crew.next.fetch_add(1);
        if (index >= chunks)
            break;
        try {
            chunk(index, work);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(crew.lock);
            if (!crew.failure)
                crew.failure = std::current_exception();
            stop = true;  // the other workers end after their current chunk
        }
    }
    if (crew.running.fetch_sub(1) == 1)
        SetEvent(crew.done.get());
}

}  // namespace

unsigned LongWorkRunner::MachineThreads()
{
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count;
}

bool LongWorkRunner::AnyRunning() noexcept { return g_running.load() > 0; }

void LongWorkRunner::RunOnWorkers(size_t chunks, unsigned threads,
                                  const std::function<void(size_t, LongWork&)>& chunk)
{
    assert(!m_running && "one run at a time per runner");
    m_work.m_stop = false;
    m_work.m_done = 0;
    m_work.m_total = 0;
    m_stopAsked = false;
    m_wakes = 0;
    m_shownDone = m_shownTotal = ~0ull;
    if (chunks == 0)
        return;
    if (threads == 0)
        threads = MachineThreads();
    if (threads > chunks)
        threads = static_cast<unsigned>(chunks);

    Crew crew;
    crew.done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!crew.done)
        ThrowLastError(L"CreateEventW");
    crew.running = threads;
    std::vector<std::thread> workers;
    workers.reserve(threads);
    m_running = true;
    ++g_running;
    unsigned started = 0;
    try {
        for (; started < threads; ++started)
            workers.emplace_back(WorkerLoop, std::ref(crew), chunks, std::ref(m_work), std::cref(chunk),
                                 std::ref(m_work.m_stop));
    } catch (...) {
        // Fewer workers than asked share the chunks; none at all is a failure of the run.
        if (crew.running.fetch_sub(threads - started) == threads - started)
            SetEvent(crew.done.get());
        if (started == 0) {
            --g_running;
            m_running = false;
            throw CurrentError();
        }
    }
    // If the window is closed meanwhile, the process ends inside this pump and the
    // workers with it; nothing below runs then.
    PumpUntil(crew.done.get());
    for (std::thread& worker : workers)
        worker.join();
    --g_running;
    m_running = false;
    ShowProgress(true);
    ReplayHeldBack();
    if (crew.failure)
        std::rethrow_exception(crew.failure);
}

void LongWorkRunner::PumpUntil(HANDLE done)
{
    for (;;) {
        HandleMessages();
        ShowProgress(false);
        const DWORD timeout = m_show ? kProgressEveryMs : INFINITE;
        // Wakes for the work's end and for messages that arrived since the last look; input
        // the owner leaves in the queue does not wake it again.
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &done, timeout, QS_ALLINPUT, 0);
        if (woke == WAIT_OBJECT_0)
            return;
        if (woke == WAIT_FAILED) {
            // Cannot happen with a valid handle; the work's end is still awaited.
            WaitForSingleObject(done, INFINITE);
            return;
        }
        ++m_wakes;
    }
}

// Sent and posted messages, timers and painting are handled; keys and clicks stay in the
// queue for the owner to read when the work has ended, except what goes to a live window.
// Mouse messages on the owner's frame are handled (moving, sizing, the close box), but a
// click on its menu bar waits.
void LongWorkRunner::HandleMessages()
{
    MSG msg;
    // By message ranges that leave out keys and client mouse messages: Wine's PeekMessage
    // does not hand out WM_PAINT when filtered by queue status (PM_QS_PAINT).
    for (const auto& [first, last] : kAllButInput) {
        while (PeekMessageW(&msg, nullptr, first, last, PM_REMOVE)) {
            if (msg.message == WM_QUIT || HoldBack(msg))
                m_heldBack.push_back(msg);
            else
                Dispatch(msg);
        }
    }
    for (HWND live : m_live) {
        while (IsWindow(live) && PeekMessageW(&msg, live, 0, 0, PM_REMOVE))
            Dispatch(msg);
    }
}

bool LongWorkRunner::ForOwner(HWND hwnd) const
{
    if (!hwnd)
        return false;
    for (HWND live : m_live) {
        if (hwnd == live || IsChild(live, hwnd))
            return false;
    }
    const HWND root = GetAncestor(hwnd, GA_ROOTOWNER);
    return hwnd == m_owner || root == m_owner || IsChild(m_owner, hwnd);
}

// A posted message that is input or a command for the owner waits, as typed input does.
bool LongWorkRunner::HoldBack(const MSG& msg) const
{
    if (!ForOwner(msg.hwnd))
        return false;
    if (IsNonClientMouse(msg.message))
        return msg.message != WM_NCMOUSEMOVE && msg.wParam == HTMENU;
    switch (msg.message) {
    case WM_COMMAND:
    case WM_CONTEXTMENU:
        return true;
    case WM_SYSCOMMAND:  // the ones that open the menus
        return (msg.wParam & 0xFFF0) == SC_KEYMENU || (msg.wParam & 0xFFF0) == SC_MOUSEMENU;
    default:
        return false;
    }
}

void LongWorkRunner::ShowProgress(bool force)
{
    if (!m_show)
        return;
    const uint64_t done = m_work.Done();
    const uint64_t total = m_work.Total();
    if (!force && done == m_shownDone && total == m_shownTotal)
        return;
    m_shownDone = done;
    m_shownTotal = total;
    m_show(done, total);
}

// What was held back goes back into the queue in its order, for the window's own loop.
void LongWorkRunner::ReplayHeldBack()
{
    std::vector<MSG> held = std::move(m_heldBack);
    m_heldBack.clear();
    for (const MSG& msg : held) {
        if (msg.message == WM_QUIT)
            PostQuitMessage(static_cast<int>(msg.wParam));
        else
            PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }
}

}  // namespace vcm
