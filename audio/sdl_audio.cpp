#include "audio/sdl_audio.h"
#include <dlfcn.h>

namespace {

constexpr const char* libraryName = "libSDL2-2.0.so.0";

struct Loaded {
    SdlAudio table{};
    std::string error;  // empty when every function was found
};

template <typename Function>
bool find(void* library, const char* name, Function& function, std::string& error) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (!function && error.empty()) error = std::string(libraryName) + ": no " + name;
    return function != nullptr;
}

Loaded load() {
    Loaded loaded;
    // Never closed: SDL's threads may outlive any one user of it.
    void* library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = dlerror();
        loaded.error = error ? error : libraryName;
        return loaded;
    }
    SdlAudio& t = loaded.table;
    std::string& e = loaded.error;
    find(library, "SDL_InitSubSystem", t.initSubSystem, e);
    find(library, "SDL_QuitSubSystem", t.quitSubSystem, e);
    find(library, "SDL_GetError", t.getError, e);
    find(library, "SDL_SetHintWithPriority", t.setHintWithPriority, e);
    find(library, "SDL_ResetHint", t.resetHint, e);
    find(library, "SDL_OpenAudioDevice", t.openAudioDevice, e);
    find(library, "SDL_PauseAudioDevice", t.pauseAudioDevice, e);
    find(library, "SDL_CloseAudioDevice", t.closeAudioDevice, e);
    find(library, "SDL_GetAudioDeviceStatus", t.getAudioDeviceStatus, e);
    find(library, "SDL_SetThreadPriority", t.setThreadPriority, e);
    return loaded;
}

const Loaded& loaded() {
    static const Loaded once = load();
    return once;
}

}  // namespace

const SdlAudio* sdlAudioLoad(std::string& reason) {
    if (!loaded().error.empty()) {
        reason = loaded().error;
        return nullptr;
    }
    return &loaded().table;
}

const SdlAudio& sdlAudio() { return loaded().table; }
