// A stand-in, on Windows, for the system's service commands and for a harmless program that
// just runs: the real "sc" and "net" would ask the system, which a test must not touch.
// Copied as sc.exe or net.exe it appends its arguments to <dir>/calls (dir from
// ORLUNE_TEST_SYSTEMCTL_DIR); "query NAME" prints <dir>/answer with every %NAME% replaced by
// NAME; with <dir>/hang present it writes its process id to <dir>/pid and sleeps five minutes.
// Under any other name it sleeps the number of seconds of its first argument.

#include <platform/ids.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string programName(const char *argv0)
{
    std::string name(argv0);
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return name;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void replaceAll(std::string &text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

int serviceCommand(int argc, char **argv)
{
    const char *dirValue = std::getenv("ORLUNE_TEST_SYSTEMCTL_DIR");
    if (!dirValue)
        return 1;
    const std::string dir = std::string(dirValue) + "/";
    {
        std::ofstream calls(dir + "calls", std::ios::app);
        for (int i = 1; i < argc; ++i)
            calls << (i > 1 ? " " : "") << argv[i];
        calls << '\n';
    }
    if (std::ifstream(dir + "hang").good()) {
        std::ofstream(dir + "pid") << platform::currentProcessId() << '\n';
        std::this_thread::sleep_for(std::chrono::minutes(5));
        return 0;
    }
    if (argc >= 3 && std::string(argv[1]) == "query") {
        std::string answer = readFile(dir + "answer");
        replaceAll(answer, "%NAME%", argv[argc - 1]);
        std::fputs(answer.c_str(), stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string name = argc > 0 ? programName(argv[0]) : std::string();
    if (name == "sc" || name == "net")
        return serviceCommand(argc, argv);
    std::this_thread::sleep_for(std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 0));
    return 0;
}
