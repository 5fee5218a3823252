#pragma once
// The built q7m run end to end in a temporary folder of its own per test.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;  // empty when stdout went to a file of the caller's
    std::string err;
    double seconds = 0;
};

struct Sound {
    SF_INFO info{};
    std::vector<int16_t> pcm;
    std::vector<float> floats;
};

inline std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline Sound readSound(const std::string& file) {
    Sound sound;
    SNDFILE* f = sf_open(file.c_str(), SFM_READ, &sound.info);
    if (!f) {
        ADD_FAILURE() << file << ": " << sf_strerror(nullptr);
        return sound;
    }
    const size_t samples = size_t(sound.info.frames) * size_t(sound.info.channels);
    sound.pcm.resize(samples);
    sf_readf_short(f, sound.pcm.data(), sound.info.frames);
    sf_seek(f, 0, SEEK_SET);
    sound.floats.resize(samples);
    sf_readf_float(f, sound.floats.data(), sound.info.frames);
    sf_close(f);
    return sound;
}

class CliTest : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "q7m-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    std::string save(const std::string& name, const std::vector<uint8_t>& image) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        return path(name);
    }

    // Runs q7m with args (shell words), env assignments in front and stdin
    // from input; stdout goes to out, or into run.out when out is empty. The
    // capture files are removed again.
    ToolRun q7m(const std::string& args, const std::string& out = "", const std::string& env = "",
                const std::string& input = "/dev/null") const {
        const std::string outFile = out.empty() ? path(".stdout") : out, errFile = path(".stderr");
        const std::string command = env + " '" + Q7M_PATH + "' " + args + " <'" + input + "' >'" + outFile +
                                    "' 2>'" + errFile + "'";
        ToolRun run;
        const auto start = std::chrono::steady_clock::now();
        const int raw = std::system(command.c_str());
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (out.empty()) run.out = slurp(outFile);
        run.err = slurp(errFile);
        if (out.empty()) fs::remove(outFile);
        fs::remove(errFile);
        return run;
    }
};
