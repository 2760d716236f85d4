#pragma once
// A bare HTTP/1.1 sink on 127.0.0.1 for transfer benchmarks: it accepts one
// connection at a time, answers "Expect: 100-continue", reads the body in
// 4 MiB receives and answers 200 with "{}". Nothing but the bytes is kept, so
// the sink costs as little as a reader can. Other answers (and a delay before
// them) can be set per path, for the small requests around a transfer.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace zirv::bench {

class LoopbackSink {
public:
    LoopbackSink()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_listener, 4) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::abort();
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackSink()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    LoopbackSink(const LoopbackSink&) = delete;
    LoopbackSink& operator=(const LoopbackSink&) = delete;

    std::string origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string url() const { return origin() + "/upload"; }
    // The answer body for a path, sent after `delay`.
    void setAnswer(const std::string& path, std::string body, std::chrono::milliseconds delay)
    {
        const std::lock_guard lock(m_mutex);
        m_answers[path] = {std::move(body), delay};
    }
    // Body bytes of the last request to a path without a set answer.
    int64_t lastBodySize() const { return m_lastBodySize; }

private:
    void serve()
    {
        std::vector<char> buffer(4 << 20);
        while (!m_stopping) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            handle(connection, buffer);
            ::close(connection);
        }
    }

    void handle(int connection, std::vector<char>& buffer)
    {
        std::string head;
        size_t end = std::string::npos;
        while ((end = head.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t got = ::recv(connection, buffer.data(), 64 << 10, 0);
            if (got <= 0)
                return;
            head.append(buffer.data(), static_cast<size_t>(got));
        }
        const size_t pathStart = head.find(' ') + 1;
        const std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
        std::string lower = head.substr(0, end);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        int64_t expected = 0;
        if (const size_t at = lower.find("\r\ncontent-length:"); at != std::string::npos)
            expected = std::atoll(lower.c_str() + at + 17);
        if (lower.find("\r\nexpect: 100-continue") != std::string::npos)
            sendAll(connection, "HTTP/1.1 100 Continue\r\n\r\n");
        int64_t received = static_cast<int64_t>(head.size() - end - 4);
        while (received < expected) {
            const ssize_t got = ::recv(connection, buffer.data(), buffer.size(), 0);
            if (got <= 0)
                return;
            received += got;
        }
        Answer answer{"{}", std::chrono::milliseconds(0)};
        {
            const std::lock_guard lock(m_mutex);
            if (const auto found = m_answers.find(path); found != m_answers.end())
                answer = found->second;
            else
                m_lastBodySize = received;
        }
        std::this_thread::sleep_for(answer.delay);
        sendAll(connection, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer.body.size())
                                + "\r\nConnection: close\r\n\r\n" + answer.body);
    }

    static void sendAll(int connection, const std::string& text)
    {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t sent = ::send(connection, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (sent <= 0)
                return;
            done += static_cast<size_t>(sent);
        }
    }

    struct Answer {
        std::string body;
        std::chrono::milliseconds delay;
    };
    std::mutex m_mutex;
    std::map<std::string, Answer> m_answers;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int64_t> m_lastBodySize{0};
    std::thread m_thread;
};

} // namespace zirv::bench
