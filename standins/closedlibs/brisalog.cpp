#include "brisalog.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <memory>
#include <mutex>

namespace {

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
            auto file = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
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
