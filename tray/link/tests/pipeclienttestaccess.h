#pragma once

#include "pipeclient.h"

#include <QMetaObject>

#include <system_error>

// Reaches PipeClient's private operations and state for the tests.
class PipeClientTestAccess {
public:
    static bool request(PipeClient &client, const QByteArray &request, QByteArray &answer, bool logFailures)
    {
        return client.request(request, answer, logFailures);
    }
    static void parseStatus(PipeClient &client, const QByteArray &answer, PipeClient::Status &out)
    {
        client.parseStatus(answer, out);
    }
    // Runs one tick of the poll timer.
    static void tick(PipeClient &client) { QMetaObject::invokeMethod(&client, "poll"); }
    static bool pollInFlight(const PipeClient &client) { return client.pollInFlight.load(); }
    static int pendingAutoStart(const PipeClient &client) { return client.pendingAutoStart.load(); }
    static void setPendingAutoStart(PipeClient &client, int value) { client.pendingAutoStart.store(value); }
    static void settleDelivery(PipeClient &client, int delivered, bool answered, int ret)
    {
        client.settleDelivery(delivered, answered, ret);
    }
    // Every later attempt to create a worker thread fails as the thread library reports it.
    static void failThreadCreation(PipeClient &client, std::atomic<int> &attempts)
    {
        client.startWorker = [&attempts](PipeClient *) -> std::thread {
            ++attempts;
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        };
    }
    static void restoreThreadCreation(PipeClient &client)
    {
        client.startWorker = [](PipeClient *c) { return std::thread(&PipeClient::runPollCycle, c); };
    }
};
