#pragma once
// Captures what the code under test prints on the standard output.
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        std::FILE *tmp = std::tmpfile();
        m_fd = ::dup(::fileno(tmp));
        std::fclose(tmp);
        ::dup2(m_fd, STDOUT_FILENO);
    }
    ~StdoutCapture() { release(); }

    std::string text()
    {
        std::fflush(stdout);
        std::string out;
        ::lseek(m_fd, 0, SEEK_SET);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buf, sizeof buf)) > 0)
            out.append(buf, static_cast<std::size_t>(n));
        return out;
    }

    void release()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        ::close(m_fd);
        m_saved = -1;
    }

private:
    int m_saved = -1;
    int m_fd = -1;
};
