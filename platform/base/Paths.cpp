#include "platform/base/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string Home()
{
    const std::string home = Env("HOME");
    return home.empty() ? std::string("/tmp") : home;
}

// $XDG_<kind>_HOME, else ~/<fallback>.
std::string XdgFolder(const char* variable, const char* fallback)
{
    const std::string value = Env(variable);
    if (!value.empty() && value[0] == '/')
        return WithTrailingSeparator(value);
    return WithTrailingSeparator(JoinPath(Home(), fallback));
}

// XDG_DOWNLOAD_DIR="$HOME/Downloads" in ~/.config/user-dirs.dirs.
std::string UserDirsDownload()
{
    std::ifstream in(XdgFolder("XDG_CONFIG_HOME", ".config") + "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOWNLOAD_DIR=\"";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0)
            value = Home() + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    return {};
}
}

std::string WithTrailingSeparator(const std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return path;
    return path + '/';
}

std::string JoinPath(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    std::string tail = b;
    while (!tail.empty() && tail.front() == '/')
        tail.erase(0, 1);
    return WithTrailingSeparator(a) + tail;
}

bool MakeFolders(const std::string& path)
{
    std::error_code error;
    fs::create_directories(path, error);
    return fs::is_directory(path, error);
}

std::string DataFolder()
{
    const std::string home = Env("CORVANE_HOME");
    if (!home.empty())
        return WithTrailingSeparator(home);
    return XdgFolder("XDG_DATA_HOME", ".local/share") + "corvane/";
}

std::string HivePath()
{
    const std::string home = Env("CORVANE_HOME");
    if (!home.empty())
        return JoinPath(home, "registry.db");
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "corvane/registry.db";
}

std::string RuntimeFolder()
{
    const std::string home = Env("CORVANE_HOME");
    if (!home.empty())
        return WithTrailingSeparator(home);
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/')
        return WithTrailingSeparator(runtime) + "corvane/";
    return DataFolder();
}

std::string DefaultDownloadFolder()
{
    const std::string configured = UserDirsDownload();
    if (!configured.empty())
        return WithTrailingSeparator(configured);
    return WithTrailingSeparator(JoinPath(Home(), "Downloads"));
}

std::string ExecutablePath()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::string ExecutableFolder()
{
    const std::string self = ExecutablePath();
    return self.empty() ? std::string("./") : WithTrailingSeparator(fs::path(self).parent_path().string());
}
