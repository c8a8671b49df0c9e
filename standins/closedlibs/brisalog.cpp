#include "brisalog.h"

#include <platform/logfile.h>

#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace {

// Rotates like spdlog's rotating file sink ("name.1.ext" and so on), but opens the file itself
// through the OS layer: never through a symbolic link, never group- or world-writable.
class SafeRotatingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    SafeRotatingFileSink(std::string path, std::size_t maxSize, std::size_t maxFiles, bool rotateOnOpen)
        : m_path(std::move(path)), m_maxSize(maxSize), m_maxFiles(maxFiles)
    {
        if (rotateOnOpen)
            rotate();
        else
            reopen();
        if (m_file == nullptr)
            throw spdlog::spdlog_ex("cannot open log file " + m_path, static_cast<int>(m_error));
    }
    ~SafeRotatingFileSink() override
    {
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    SafeRotatingFileSink(const SafeRotatingFileSink &) = delete;
    SafeRotatingFileSink &operator=(const SafeRotatingFileSink &) = delete;

protected:
    void sink_it_(const spdlog::details::log_msg &message) override
    {
        spdlog::memory_buf_t line;
        formatter_->format(message, line);
        if (m_size > 0 && m_size + line.size() > m_maxSize)
            rotate();
        if (m_file != nullptr && std::fwrite(line.data(), 1, line.size(), m_file) == line.size())
            m_size += line.size();
    }
    void flush_() override
    {
        if (m_file != nullptr)
            std::fflush(m_file);
    }

private:
    std::string generation(std::size_t index) const
    {
        return spdlog::sinks::rotating_file_sink_mt::calc_filename(m_path, index);
    }

    void rotate()
    {
        if (m_file != nullptr) {
            std::fclose(m_file);
            m_file = nullptr;
        }
        // Renaming moves a planted link itself, never what it points to.
        for (std::size_t index = m_maxFiles; index > 0; --index) {
            std::remove(generation(index).c_str());
            std::rename(generation(index - 1).c_str(), generation(index).c_str());
        }
        reopen();
    }

    void reopen()
    {
        // The path comes in the local 8-bit encoding, as the C library's remove and rename
        // above take it; the OS layer takes UTF-8.
        m_file = platform::openLogFile(platform::localPathToUtf8(m_path), m_error);
        m_size = 0;
        if (m_file != nullptr && std::fseek(m_file, 0, SEEK_END) == 0) {
            const long size = std::ftell(m_file);
            m_size = size > 0 ? static_cast<std::size_t>(size) : 0;
        }
    }

    const std::string m_path;
    const std::size_t m_maxSize;
    const std::size_t m_maxFiles;
    std::FILE *m_file = nullptr;
    std::size_t m_size = 0;
    platform::ErrorCode m_error = 0;
};

class BrisaLog final : public IBrisaLog {
public:
    void setMode(int mode) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mode = mode;
    }

    bool open(const char *path, unsigned long maxFileSize, int maxFiles, int flags) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        try {
            auto file = std::make_shared<SafeRotatingFileSink>(
                path, maxFileSize, static_cast<std::size_t>(maxFiles), (flags & RotateOnOpen) != 0);
            auto logger = std::make_shared<spdlog::logger>("client", file);
            if (m_mode == FileAndConsole)
                logger->sinks().push_back(std::make_shared<spdlog::sinks::stderr_sink_mt>());
            logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] PID=%P TID=%t %v");
            logger->set_level(spdlog::level::debug);
            // Every line reaches the file at once, so nothing is lost when the client dies.
            logger->flush_on(spdlog::level::debug);
            m_logger = std::move(logger);
            return true;
        } catch (const spdlog::spdlog_ex &) {
            m_logger.reset();
            return false;
        }
    }

    void log(Level level, const char *message) override
    {
        std::shared_ptr<spdlog::logger> logger;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            logger = m_logger;
        }
        if (!logger)
            return;
        try {
            logger->log(toSpdlog(level), "{}", message);
        } catch (const spdlog::spdlog_ex &) {
            // A log that cannot be written must not take the client down.
        }
    }

private:
    static spdlog::level::level_enum toSpdlog(Level level)
    {
        switch (level) {
        case Debug:
            return spdlog::level::debug;
        case Info:
            return spdlog::level::info;
        case Warning:
            return spdlog::level::warn;
        case Error:
            return spdlog::level::err;
        }
        return spdlog::level::info;
    }

    std::mutex m_mutex;
    int m_mode = FileOnly;
    std::shared_ptr<spdlog::logger> m_logger;
};

} // namespace

IBrisaLog *CreateBrisaLog()
{
    // Never released: the log must outlive every static object that may still write to it.
    return new BrisaLog;
}
