// A small HTTP/1.1 server on the loopback interface for the tests: each path answers with the reply
// routed to it, and every request received is recorded. It serves on its own thread, one thread per
// connection, and closes each connection after one response. It also acts as an HTTP proxy for
// requests in absolute form (GET http://host/path), which it answers itself from the same routes:
// it never contacts another address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testhttp {

struct Reply {
    int status = 200; // any status; the reason phrase is chosen from the status
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // extra headers, e.g. {"Location", "/b"}
    bool contentLength = true;                                // send Content-Length: body.size()
    bool chunked = false;                                     // Transfer-Encoding: chunked (then no Content-Length)
    size_t chunkSize = 0;                                     // send the body in pieces of this size (0: at once)
    unsigned delayMs = 0;                                     // pause before each piece of the body
    size_t delayedBytes = SIZE_MAX;                           // only pieces that start below this offset wait
    size_t closeAfter = SIZE_MAX; // close in order (FIN) after this many body bytes, without a chunked body's end
    size_t dropAfter = SIZE_MAX;  // close the connection (RST) after this many body bytes
    size_t stallAfter = SIZE_MAX; // send nothing more after this many body bytes, holding the connection till Stop
    bool silent = false;          // answer nothing at all, holding the connection till Stop
};

struct Request {
    std::string method, target, path, host; // path: the target's path without scheme, host or query
    bool absoluteForm = false;              // the target named scheme and host (a proxy request)
    std::vector<std::pair<std::string, std::string>> headers;
};

class Server {
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool Start(); // listens on 127.0.0.1 at a free port, serves on a thread
    void Stop();  // also in the destructor
    unsigned short Port() const;
    std::string Url(const std::string& path) const; // "http://127.0.0.1:PORT" + path
    std::string ProxyAddress() const;               // "127.0.0.1:PORT"
    // Matched on the path, also for absolute-form requests (as an HTTP proxy: GET http://host/path).
    // A route given with a query ("/feed?x=1") matches that query only; a route without one
    // matches the path with any query.
    void Route(const std::string& path, const Reply& reply);
    std::vector<Request> Requests() const; // every request received, in order

    struct State;

private:
    std::shared_ptr<State> state_;
};

// A port on 127.0.0.1 on which nothing listens: bound, then closed at once.
unsigned short ClosedPort();

// Sends the WinINet sessions of this process (opened with INTERNET_OPEN_TYPE_PRECONFIG after this)
// to an HTTP proxy through HKCU "Software\Microsoft\Windows\CurrentVersion\Internet Settings"
// (ProxyEnable=1, ProxyServer=address); the previous values are put back on destruction.
class SystemProxy {
public:
    explicit SystemProxy(const std::string& address);
    ~SystemProxy();
    SystemProxy(const SystemProxy&) = delete;
    SystemProxy& operator=(const SystemProxy&) = delete;
    bool Ok() const { return ok_; }

private:
    struct Saved {
        bool present = false;
        unsigned long type = 0;
        std::vector<unsigned char> data;
    };
    Saved enable_, server_;
    bool ok_ = false;
};

} // namespace testhttp
