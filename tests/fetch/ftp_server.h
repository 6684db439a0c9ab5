// A minimal FTP server on 127.0.0.1 for the tests: anonymous log-in, one file served by RETR in
// active (PORT) or passive (PASV) mode. Enough for WinINet to open an ftp:// URL, which gives a
// handle that is not an HTTP response.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TestFtpServer {
public:
    TestFtpServer();
    ~TestFtpServer();
    TestFtpServer(const TestFtpServer&) = delete;
    TestFtpServer& operator=(const TestFtpServer&) = delete;

    bool Start(const std::string& fileContent);
    void Stop();
    std::string Url(const std::string& path) const; // "ftp://127.0.0.1:PORT" + path
    std::vector<std::string> Commands() const;      // every command line received, in order

    struct State;

private:
    std::shared_ptr<State> state_;
};
