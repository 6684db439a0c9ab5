#include "tests/http/http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>

#include "framework/owners.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace testhttp {

namespace {

const char* ReasonPhrase(int status) {
    static const struct {
        int status;
        const char* reason;
    } kReasons[] = {
        {100, "Continue"},
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {204, "No Content"},
        {206, "Partial Content"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {410, "Gone"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    for (const auto& r : kReasons)
        if (r.status == status)
            return r.reason;
    return "Unknown";
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t n = strlen(prefix);
    return s.size() >= n && _strnicmp(s.c_str(), prefix, n) == 0;
}

// The target as an origin server sees it ("/path?query"); an absolute-form target also gives its
// authority ("host:port").
std::string OriginForm(const std::string& target, std::string* authority) {
    if (!StartsWithNoCase(target, "http://") && !StartsWithNoCase(target, "https://"))
        return target;
    size_t hostStart = target.find("://") + 3;
    size_t slash = target.find_first_of("/?", hostStart);
    if (authority)
        *authority = target.substr(hostStart, slash == std::string::npos ? std::string::npos : slash - hostStart);
    if (slash == std::string::npos)
        return "/";
    return target[slash] == '?' ? "/" + target.substr(slash) : target.substr(slash);
}

bool HasHeader(const std::vector<std::pair<std::string, std::string>>& headers, const char* name) {
    for (const auto& h : headers)
        if (_stricmp(h.first.c_str(), name) == 0)
            return true;
    return false;
}

bool SendAll(SOCKET s, const char* data, size_t size) {
    while (size > 0) {
        int chunk = static_cast<int>(std::min<size_t>(size, 64 * 1024));
        int n = send(s, data, chunk, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SendAll(SOCKET s, const std::string& data) {
    return SendAll(s, data.data(), data.size());
}

// Closes with a reset instead of the orderly FIN: a zero linger time discards the connection at once.
void ResetConnection(SOCKET s) {
    // Give the peer's stack a moment to take in what was sent, so that the reset cuts the stream
    // after those bytes rather than possibly before them.
    Sleep(50);
    linger l = {1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    closesocket(s);
}

struct WinsockUser {
    bool ok;
    WinsockUser() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUser() {
        if (ok)
            WSACleanup();
    }
};

} // namespace

struct Server::State {
    mutable std::mutex lock;
    std::map<std::string, Reply> routes;
    std::vector<Request> requests;
    std::vector<SOCKET> connections; // open connections, for Stop to shut down
    std::vector<std::thread> workers;
    std::thread acceptor;
    SOCKET listener = INVALID_SOCKET;
    fw::KernelHandle stopEvent; // set by Stop; every pause waits on it
    unsigned short port = 0;
    bool winsock = false;

    void AcceptLoop();
    void Serve(SOCKET s);
    bool ReadRequest(SOCKET s, Request& request);
    Reply FindReply(const Request& request) const;
    void SendReply(SOCKET s, const Request& request, const Reply& reply);
    bool Stopping() const { return WaitForSingleObject(stopEvent.Get(), 0) == WAIT_OBJECT_0; }
};

void Server::State::AcceptLoop() {
    for (;;) {
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return; // Stop closed the listener
        std::lock_guard<std::mutex> guard(lock);
        if (Stopping()) {
            closesocket(s);
            return;
        }
        connections.push_back(s);
        workers.emplace_back([this, s] { Serve(s); });
    }
}

bool Server::State::ReadRequest(SOCKET s, Request& request) {
    std::string data;
    size_t end;
    char buffer[4096];
    while ((end = data.find("\r\n\r\n")) == std::string::npos) {
        if (data.size() > 64 * 1024)
            return false;
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        data.append(buffer, static_cast<size_t>(n));
    }
    std::string head = data.substr(0, end);
    std::string rest = data.substr(end + 4);

    size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = line.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
    if (sp1 == std::string::npos)
        return false;
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);

    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t next = head.find("\r\n", pos);
        if (next == std::string::npos)
            next = head.size();
        std::string h = head.substr(pos, next - pos);
        size_t colon = h.find(':');
        if (colon != std::string::npos) {
            std::string value = h.substr(colon + 1);
            size_t first = value.find_first_not_of(" \t");
            value = first == std::string::npos ? std::string() : value.substr(first);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.pop_back();
            request.headers.emplace_back(h.substr(0, colon), value);
        }
        pos = next + 2;
    }

    request.absoluteForm = StartsWithNoCase(request.target, "http://") || StartsWithNoCase(request.target, "https://");
    std::string authority;
    std::string originForm = OriginForm(request.target, &authority);
    request.path = originForm.substr(0, originForm.find('?'));
    for (const auto& h : request.headers)
        if (_stricmp(h.first.c_str(), "Host") == 0)
            request.host = h.second;
    if (request.host.empty())
        request.host = authority;

    // A request body is read and thrown away, so that the connection is in step for the reply.
    size_t bodySize = 0;
    for (const auto& h : request.headers)
        if (_stricmp(h.first.c_str(), "Content-Length") == 0)
            bodySize = static_cast<size_t>(strtoull(h.second.c_str(), nullptr, 10));
    while (rest.size() < bodySize) {
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        rest.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

Reply Server::State::FindReply(const Request& request) const {
    std::lock_guard<std::mutex> guard(lock);
    auto it = routes.find(OriginForm(request.target, nullptr));
    if (it == routes.end())
        it = routes.find(request.path);
    if (it != routes.end())
        return it->second;
    Reply notFound;
    notFound.status = 404;
    notFound.body = "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>";
    notFound.headers.emplace_back("Content-Type", "text/html");
    return notFound;
}

void Server::State::SendReply(SOCKET s, const Request& request, const Reply& reply) {
    if (reply.silent) {
        WaitForSingleObject(stopEvent.Get(), INFINITE);
        ResetConnection(s);
        return;
    }
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonPhrase(reply.status) + "\r\n";
    for (const auto& h : reply.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (reply.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (reply.contentLength)
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    // Each test's answers must come from this server, never from the client's cache of an earlier run.
    if (!HasHeader(reply.headers, "Cache-Control"))
        head += "Cache-Control: no-store, no-cache\r\n";
    head += "Connection: close\r\n\r\n";
    if (!SendAll(s, head)) {
        closesocket(s);
        return;
    }

    bool sendBody = request.method != "HEAD";
    size_t piece = reply.chunkSize ? reply.chunkSize : std::max<size_t>(reply.body.size(), 1);
    size_t sent = 0;
    while (sendBody && sent < reply.body.size()) {
        if (sent >= reply.closeAfter)
            break;
        if (reply.delayMs && sent < reply.delayedBytes &&
            WaitForSingleObject(stopEvent.Get(), reply.delayMs) == WAIT_OBJECT_0) {
            ResetConnection(s);
            return;
        }
        if (sent >= reply.stallAfter) {
            WaitForSingleObject(stopEvent.Get(), INFINITE);
            ResetConnection(s);
            return;
        }
        size_t n = std::min({piece, reply.body.size() - sent, reply.stallAfter - sent, reply.closeAfter - sent});
        bool drop = reply.dropAfter != SIZE_MAX && sent + n > reply.dropAfter;
        if (drop)
            n = reply.dropAfter > sent ? reply.dropAfter - sent : 0;
        bool ok = true;
        if (reply.chunked && n > 0) {
            char size[32];
            snprintf(size, sizeof size, "%zx\r\n", n);
            ok = SendAll(s, size) && SendAll(s, reply.body.data() + sent, n) && (drop || SendAll(s, "\r\n", 2));
        } else if (n > 0) {
            ok = SendAll(s, reply.body.data() + sent, n);
        }
        sent += n;
        if (drop || !ok) {
            ResetConnection(s);
            return;
        }
    }
    if (sendBody && reply.chunked && sent < reply.closeAfter)
        SendAll(s, "0\r\n\r\n", 5);
    // An orderly close: the client reads up to the end of the stream, then sees the FIN.
    shutdown(s, SD_SEND);
    char drain[512];
    DWORD timeout = 2000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    while (recv(s, drain, sizeof drain, 0) > 0) {
    }
    closesocket(s);
}

void Server::State::Serve(SOCKET s) {
    DWORD timeout = 15000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    Request request;
    bool ok = ReadRequest(s, request);
    {
        std::lock_guard<std::mutex> guard(lock);
        if (ok)
            requests.push_back(request);
        // From here on this thread closes the socket; Stop no longer touches it.
        connections.erase(std::remove(connections.begin(), connections.end(), s), connections.end());
    }
    if (!ok) {
        closesocket(s);
        return;
    }
    SendReply(s, request, FindReply(request));
}

Server::Server() : state_(std::make_shared<State>()) {}

Server::~Server() {
    Stop();
}

bool Server::Start() {
    State& st = *state_;
    if (st.listener != INVALID_SOCKET)
        return true;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    st.winsock = true;
    st.stopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    st.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int size = sizeof addr;
    if (!st.stopEvent || st.listener == INVALID_SOCKET ||
        bind(st.listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(st.listener, 16) != 0 ||
        getsockname(st.listener, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        Stop();
        return false;
    }
    st.port = ntohs(addr.sin_port);
    st.acceptor = std::thread([&st] { st.AcceptLoop(); });
    return true;
}

void Server::Stop() {
    State& st = *state_;
    if (st.stopEvent)
        SetEvent(st.stopEvent.Get());
    if (st.listener != INVALID_SOCKET) {
        closesocket(st.listener);
        st.listener = INVALID_SOCKET;
    }
    if (st.acceptor.joinable())
        st.acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(st.lock);
        for (SOCKET s : st.connections)
            shutdown(s, SD_BOTH); // wakes a worker that waits for the request
        workers.swap(st.workers);
    }
    for (auto& w : workers)
        if (w.joinable())
            w.join();
    st.stopEvent.Reset();
    if (st.winsock) {
        WSACleanup();
        st.winsock = false;
    }
}

unsigned short Server::Port() const {
    return state_->port;
}

std::string Server::Url(const std::string& path) const {
    return "http://" + ProxyAddress() + path;
}

std::string Server::ProxyAddress() const {
    return "127.0.0.1:" + std::to_string(state_->port);
}

void Server::Route(const std::string& path, const Reply& reply) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->routes[path] = reply;
}

std::vector<Request> Server::Requests() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests;
}

unsigned short ClosedPort() {
    WinsockUser winsock;
    if (!winsock.ok)
        return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return 0;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof addr;
    unsigned short port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
        port = ntohs(addr.sin_port);
    closesocket(s);
    return port;
}

namespace {

const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

void TellWinInet() {
    // WinINet reads the proxy when a session opens; these make it drop what it read before.
    InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}

} // namespace

SystemProxy::SystemProxy(const std::string& address) {
    fw::RegKey owner;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        owner.Put(), nullptr) != ERROR_SUCCESS)
        return;
    HKEY key = owner.Get();
    auto save = [key](const char* name, Saved& saved) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return;
        saved.data.resize(size);
        if (RegQueryValueExA(key, name, nullptr, &type, saved.data.data(), &size) == ERROR_SUCCESS) {
            saved.present = true;
            saved.type = type;
            saved.data.resize(size);
        }
    };
    save("ProxyEnable", enable_);
    save("ProxyServer", server_);
    DWORD one = 1;
    ok_ = RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one) ==
              ERROR_SUCCESS &&
          RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(address.c_str()),
                         static_cast<DWORD>(address.size() + 1)) == ERROR_SUCCESS;
    owner.Reset(); // closed before WinINet is told, so that it reads the values set
    TellWinInet();
}

SystemProxy::~SystemProxy() {
    fw::RegKey owner;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_SET_VALUE, owner.Put()) != ERROR_SUCCESS)
        return;
    HKEY key = owner.Get();
    auto restore = [key](const char* name, const Saved& saved) {
        if (saved.present)
            RegSetValueExA(key, name, 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
        else
            RegDeleteValueA(key, name);
    };
    restore("ProxyEnable", enable_);
    restore("ProxyServer", server_);
    owner.Reset(); // closed before WinINet is told, so that it reads the values put back
    TellWinInet();
}

} // namespace testhttp
