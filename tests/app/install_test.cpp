// Installing this build into a temporary prefix puts the programs, the menu
// entry and the module file type in place; removing what the install
// manifest lists takes them away again.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#include "shell_fakes.h"

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isExecutable(const fs::path& file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

bool toolFound(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

TEST(Install, IntoATemporaryPrefixAndOutAgain) {
    TempFolder prefix("wb-install");
    const fs::path log = prefix.path / "install.log";
    const std::string command = std::string("\"") + WB_CMAKE_COMMAND + "\" --install \"" + WB_BUILD_DIR +
                                "\" --prefix \"" + prefix.path.string() + "/usr\" > \"" + log.string() + "\" 2>&1";
    // DESTDIR would stage the files elsewhere and skip the cache refresh.
    unsetenv("DESTDIR");
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(log);

    const fs::path usr = prefix.path / "usr";
    EXPECT_TRUE(isExecutable(usr / "bin/wembrastel"));
    EXPECT_TRUE(isExecutable(usr / "bin/q7m"));

    const std::string desktop = readText(usr / "share/applications/wembrastel.desktop");
    EXPECT_NE(desktop.find("\nExec=wembrastel %f\n"), std::string::npos) << desktop;
    EXPECT_NE(desktop.find("\nCategories=AudioVideo;Audio;Player;\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nMimeType=application/x-wembrastel-module;\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nIcon=wembrastel\n"), std::string::npos);
    EXPECT_NE(readText(usr / "share/icons/hicolor/scalable/apps/wembrastel.svg").find("<svg"), std::string::npos);
    EXPECT_NE(readText(usr / "share/man/man1/q7m.1").find(".SH \"EXIT STATUS\""), std::string::npos);
    EXPECT_NE(readText(usr / "share/man/man1/wembrastel.1").find("\\-\\-seed"), std::string::npos);
    const fs::path completionLibrary = "/usr/share/bash-completion/bash_completion";
    if (fs::exists(completionLibrary)) {
        // What Tab offers after "q7m re" and after "q7m render --f".
        const std::string complete = "bash -c 'source " + completionLibrary.string() + "; source \"" +
                                     (usr / "share/bash-completion/completions/q7m").string() +
                                     "\"; for line in \"q7m re\" \"q7m render --f\"; do COMP_WORDS=($line); "
                                     "COMP_CWORD=$((${#COMP_WORDS[@]}-1)); COMP_LINE=$line; COMP_POINT=${#line}; "
                                     "_q7m; echo \"${COMPREPLY[*]}\"; done' > \"" + log.string() + "\"";
        ASSERT_EQ(std::system(complete.c_str()), 0);
        EXPECT_EQ(readText(log), "render\n--format --frames --force\n");
    }

    const std::string mime = readText(usr / "share/mime/packages/wembrastel.xml");
    EXPECT_NE(mime.find("type=\"application/x-wembrastel-module\""), std::string::npos) << mime;
    EXPECT_NE(mime.find("<glob pattern=\"*.q7m\"/>"), std::string::npos);
    if (toolFound("update-mime-database")) {
        // The database of the prefix was rebuilt from the package: it knows the type.
        EXPECT_TRUE(fs::exists(usr / "share/mime/application/x-wembrastel-module.xml"));
        EXPECT_NE(readText(usr / "share/mime/globs2").find("application/x-wembrastel-module:*.q7m"),
                  std::string::npos);
    }
    if (toolFound("desktop-file-validate")) {
        const std::string validate = "desktop-file-validate \"" + (usr / "share/applications/wembrastel.desktop").string() + "\"";
        EXPECT_EQ(std::system(validate.c_str()), 0);
    }

    // Uninstall: remove every file the manifest lists; all of them lie in the prefix.
    std::ifstream manifest(fs::path(WB_BUILD_DIR) / "install_manifest.txt");
    ASSERT_TRUE(manifest.good());
    int listed = 0;
    for (std::string file; std::getline(manifest, file);) {
        if (file.empty()) continue;
        ++listed;
        EXPECT_EQ(file.rfind(usr.string() + "/", 0), 0u) << file;
        EXPECT_TRUE(fs::remove(file)) << file;
    }
    // The programs, menu entry, file type, icon, completion and manual pages
    // (8), and the library with its header, pkg-config file and CMake package (10).
    EXPECT_EQ(listed, 18);
    for (const char* file : {"bin/wembrastel", "bin/q7m", "share/applications/wembrastel.desktop",
                             "share/mime/packages/wembrastel.xml", "share/man/man1/q7m.1"})
        EXPECT_FALSE(fs::exists(usr / file)) << file;
}

// The window program's own options answer without a window, and without a
// display it says so in one line.
TEST(WindowProgram, HelpVersionAndNoDisplay) {
    TempFolder folder("wb-options");
    const fs::path out = folder.path / "out", err = folder.path / "err";
    struct Case {
        std::string environment, args;
        int status;
        std::string outStart, err;
    };
    const std::vector<Case> cases = {
        {"", "--help", 0, "Usage: wembrastel [OPTION]... [MODULE.q7m]\n", ""},
        {"", "--version", 0, "wembrastel 1.0.0\n", ""},
        {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "", 1, "",
         "wembrastel: no display to open the window on (DISPLAY is not set); q7m play plays without one\n"},
        {"", "--seed x", 2, "", "wembrastel: --seed: x is not a number from 0 to 4294967295\n"},
    };
    for (const Case& c : cases) {
        const std::string command = c.environment + " '" + WB_BUILD_DIR + "/wembrastel' " + c.args + " >'" +
                                    out.string() + "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << c.args;
        EXPECT_EQ(readText(out).rfind(c.outStart, 0), 0u) << c.args;
        EXPECT_EQ(readText(err), c.err) << c.args;
    }
}
