#include "platform/servicehost.h"

#include "widestring.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace platform {

struct ServiceHost::State {
    std::wstring name;
    std::function<void()> onStop;
    SERVICE_STATUS_HANDLE status = nullptr;
    HANDLE ready = nullptr;    // set once the service reports running, or the dispatcher failed
    HANDLE finished = nullptr; // set by stopped()
    std::atomic<DWORD> failure{0};
    std::atomic<bool> dispatcherFailed{false}; // set before `ready`
    std::thread dispatcher;
};

namespace {

// The manager calls the service's entry point without a context; a process hosts one service.
ServiceHost::State *g_state = nullptr;

void report(const ServiceHost::State &state, DWORD current)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = current;
    status.dwControlsAccepted =
        current == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = current == SERVICE_STOP_PENDING ? 10000 : 0;
    SetServiceStatus(state.status, &status);
}

DWORD WINAPI onControl(DWORD control, DWORD, void *, void *context)
{
    auto *state = static_cast<ServiceHost::State *>(context);
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        report(*state, SERVICE_STOP_PENDING);
        state->onStop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD, wchar_t **)
{
    ServiceHost::State &state = *g_state;
    state.status = RegisterServiceCtrlHandlerExW(state.name.c_str(), onControl, &state);
    if (!state.status) {
        state.failure = GetLastError();
        SetEvent(state.ready);
        return;
    }
    report(state, SERVICE_RUNNING);
    SetEvent(state.ready);
    WaitForSingleObject(state.finished, INFINITE);
    report(state, SERVICE_STOPPED);
}

void closeEvents(ServiceHost::State &state)
{
    CloseHandle(state.ready);
    CloseHandle(state.finished);
}

} // namespace

std::unique_ptr<ServiceHost> ServiceHost::start(const std::string &name, std::function<void()> onStop,
                                                ErrorCode &error)
{
    auto state = std::make_unique<State>();
    state->name = win32::toWide(name);
    state->onStop = std::move(onStop);
    state->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state->finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!state->ready || !state->finished) {
        error = GetLastError();
        closeEvents(*state);
        return nullptr;
    }
    g_state = state.get();
    State *raw = state.get();
    state->dispatcher = std::thread([raw] {
        SERVICE_TABLE_ENTRYW table[] = {{raw->name.data(), serviceMain}, {nullptr, nullptr}};
        if (!StartServiceCtrlDispatcherW(table)) {
            raw->failure = GetLastError();
            raw->dispatcherFailed = true;
            SetEvent(raw->ready);
        }
    });
    WaitForSingleObject(state->ready, INFINITE);
    if (state->failure != 0) {
        error = state->failure;
        if (!state->dispatcherFailed) {
            // The entry point could not register its handler, so the manager waits for a
            // status that can never be sent: the dispatcher stays blocked until the process ends.
            state->dispatcher.detach();
            static_cast<void>(state.release());
            return nullptr;
        }
        state->dispatcher.join();
        g_state = nullptr;
        closeEvents(*state);
        return nullptr;
    }
    return std::unique_ptr<ServiceHost>(new ServiceHost(std::move(state)));
}

ServiceHost::ServiceHost(std::unique_ptr<State> state) : m_state(std::move(state))
{
}

ServiceHost::~ServiceHost()
{
    stopped();
}

void ServiceHost::stopped()
{
    if (!m_state->dispatcher.joinable())
        return;
    SetEvent(m_state->finished);
    m_state->dispatcher.join();
    g_state = nullptr;
    closeEvents(*m_state);
}

} // namespace platform
