#include "tests/fetch/ftp_server.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <thread>

struct TestFtpServer::State {
    mutable std::mutex lock;
    std::vector<std::string> commands;
    std::vector<SOCKET> open; // sockets that Stop must shut down to end the threads
    std::string content;
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::thread thread;
    bool winsock = false;

    void Track(SOCKET s) {
        std::lock_guard<std::mutex> g(lock);
        open.push_back(s);
    }
    void Serve();
    void Session(SOCKET control);
};

namespace {

bool SendText(SOCKET s, const std::string& text) {
    std::string line = text + "\r\n";
    return send(s, line.data(), static_cast<int>(line.size()), 0) == static_cast<int>(line.size());
}

bool ReadLine(SOCKET s, std::string& line) {
    line.clear();
    char c;
    while (recv(s, &c, 1, 0) == 1) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line += c;
    }
    return false;
}

SOCKET ListenLoopback(unsigned short& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof addr;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        if (s != INVALID_SOCKET)
            closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(addr.sin_port);
    return s;
}

} // namespace

void TestFtpServer::State::Session(SOCKET control) {
    SendText(control, "220 test server ready");
    sockaddr_in active = {};
    SOCKET passive = INVALID_SOCKET;
    std::string line;
    while (ReadLine(control, line)) {
        {
            std::lock_guard<std::mutex> g(lock);
            commands.push_back(line);
        }
        std::string verb = line.substr(0, line.find(' '));
        for (char& c : verb)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        std::string arg = line.find(' ') == std::string::npos ? std::string() : line.substr(line.find(' ') + 1);
        if (verb == "USER") {
            SendText(control, "331 Password required");
        } else if (verb == "PASS") {
            SendText(control, "230 Logged in");
        } else if (verb == "PORT") {
            unsigned h[4], p[2];
            if (sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) == 6 &&
                h[0] == 127) {
                active.sin_family = AF_INET;
                active.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never another address
                active.sin_port = htons(static_cast<unsigned short>(p[0] * 256 + p[1]));
                SendText(control, "200 PORT command successful");
            } else {
                SendText(control, "501 Loopback only");
            }
        } else if (verb == "PASV") {
            unsigned short dataPort = 0;
            if (passive != INVALID_SOCKET)
                closesocket(passive); // a second PASV replaces the first listener
            passive = ListenLoopback(dataPort);
            char reply[96];
            snprintf(reply, sizeof reply, "227 Entering Passive Mode (127,0,0,1,%u,%u)", dataPort / 256u,
                     dataPort % 256u);
            SendText(control, reply);
        } else if (verb == "RETR") {
            SendText(control, "150 Opening BINARY mode data connection");
            SOCKET data = INVALID_SOCKET;
            if (passive != INVALID_SOCKET) {
                data = accept(passive, nullptr, nullptr);
                closesocket(passive);
                passive = INVALID_SOCKET;
            } else if (active.sin_family == AF_INET) {
                data = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
                if (connect(data, reinterpret_cast<sockaddr*>(&active), sizeof active) != 0) {
                    closesocket(data);
                    data = INVALID_SOCKET;
                }
            }
            if (data == INVALID_SOCKET) {
                SendText(control, "425 Cannot open data connection");
                continue;
            }
            send(data, content.data(), static_cast<int>(content.size()), 0);
            shutdown(data, SD_SEND);
            closesocket(data);
            SendText(control, "226 Transfer complete");
        } else if (verb == "SIZE") {
            SendText(control, "213 " + std::to_string(content.size()));
        } else if (verb == "PWD") {
            SendText(control, "257 \"/\" is the current directory");
        } else if (verb == "QUIT") {
            SendText(control, "221 Goodbye");
            break;
        } else {
            SendText(control, "200 OK"); // TYPE, CWD, MODE and the like
        }
    }
    if (passive != INVALID_SOCKET)
        closesocket(passive);
}

void TestFtpServer::State::Serve() {
    std::vector<std::thread> sessions;
    for (;;) {
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            break;
        Track(s);
        sessions.emplace_back([this, s] { Session(s); });
    }
    for (auto& t : sessions)
        t.join();
}

TestFtpServer::TestFtpServer() : state_(std::make_shared<State>()) {}

TestFtpServer::~TestFtpServer() {
    Stop();
}

bool TestFtpServer::Start(const std::string& fileContent) {
    State& st = *state_;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return false;
    st.winsock = true;
    st.content = fileContent;
    st.listener = ListenLoopback(st.port);
    if (st.listener == INVALID_SOCKET)
        return false;
    st.thread = std::thread([&st] { st.Serve(); });
    return true;
}

void TestFtpServer::Stop() {
    State& st = *state_;
    if (st.listener != INVALID_SOCKET) {
        closesocket(st.listener);
        st.listener = INVALID_SOCKET;
    }
    {
        std::lock_guard<std::mutex> g(st.lock);
        for (SOCKET s : st.open)
            shutdown(s, SD_BOTH);
    }
    if (st.thread.joinable())
        st.thread.join();
    {
        std::lock_guard<std::mutex> g(st.lock);
        for (SOCKET s : st.open)
            closesocket(s);
        st.open.clear();
    }
    if (st.winsock) {
        WSACleanup();
        st.winsock = false;
    }
}

std::string TestFtpServer::Url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(state_->port) + path;
}

std::vector<std::string> TestFtpServer::Commands() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return state_->commands;
}
