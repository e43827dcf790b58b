// The tests' one scratch folder: a fresh folder for one test, removed with
// everything in it when the test ends.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace imu_test {

class TempFolder {
public:
    // The tag goes into the folder's name, so that a folder left behind says
    // which tests left it; the base is the system's temporary folder unless a
    // test needs its files elsewhere.
    explicit TempFolder(const std::string& tag = "test",
                        const std::filesystem::path& base = std::filesystem::temp_directory_path())
    {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::string leaf = "imu-" + tag + "-" + std::to_string(random()) + "-" + std::to_string(stamp) + "-" +
            std::to_string(counter++);
        path_ = base / leaf;
        std::filesystem::create_directories(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder()
    {
        std::error_code ignored;
        // Read-only files would stop the removal on Windows.
        for (const auto& item : std::filesystem::recursive_directory_iterator(path_, ignored))
            std::filesystem::permissions(item.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // The path of a name inside the folder, as the program's file layer takes it.
    [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

    std::string write(const std::string& name, const std::string& bytes) const
    {
        const std::string target = file(name);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return target;
    }

private:
    std::filesystem::path path_;
};

inline std::string read_whole_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace imu_test
