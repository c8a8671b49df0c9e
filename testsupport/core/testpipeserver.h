#pragma once

#include <memory>
#include <string>

namespace testsupport {

// The kit's raw pipe peer, for the OS layer's pipe tests: it serves `pipePath` at the level of
// connections and bytes, below any protocol, until destroyed. A misbehaving service speaking
// the protocol is the stand-in service with its fault modes (standinservice.h).
class TestPipeServer {
public:
    enum class Mode {
        Answer,              // reads the request line, writes `answer` in one write, closes
        CloseWithoutWriting, // reads the request line, closes
        NeverAnswer,         // reads the request line, keeps the connection open, silent
        Busy                 // never accepts; every connection slot stays taken
    };
    TestPipeServer(const std::string &pipePath, Mode mode, std::string answer = {});
    ~TestPipeServer();
    TestPipeServer(const TestPipeServer &) = delete;
    TestPipeServer &operator=(const TestPipeServer &) = delete;

    bool listening() const;
    // The request bytes of the latest connection, once it has been read.
    std::string lastRequest() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace testsupport
