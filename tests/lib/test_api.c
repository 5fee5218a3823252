/* The C API from C: renders equal to q7m's, seeks equal to straight renders,
 * every engine and thread count equal,
 * players on two threads equal to one after the other, mutes, and every bad
 * argument answered with an error (broken modules: the module fuzzer).
 * Usage: test_api MODULE [Q7M]  (without Q7M the comparison with q7m is skipped) */
#define _POSIX_C_SOURCE 200809L
#include <math.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wembrastel/wembrastel.h>

static int failures = 0;
#define CHECK(cond)                                                             \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                         \
        }                                                                       \
    } while (0)

static unsigned char* module_bytes;
static size_t module_size;

static unsigned char* read_file(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    if (!f) return NULL;
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* bytes = malloc(n > 0 ? (size_t)n : 1);
    *size = fread(bytes, 1, (size_t)n, f);
    fclose(f);
    return bytes;
}

static wb_player* open_engine(uint32_t rate, uint32_t seed, int engine, int threads) {
    wb_config config;
    wb_config_init(&config);
    config.sample_rate = rate;
    config.seed = seed;
    config.use_seed = 1;
    config.engine = engine;
    config.threads = threads;
    char error[256];
    wb_player* p = wb_open(module_bytes, module_size, &config, error, sizeof error);
    if (!p) fprintf(stderr, "open failed: %s\n", error);
    return p;
}

static wb_player* open_seeded(uint32_t rate, uint32_t seed) {
    return open_engine(rate, seed, WB_ENGINE_AUTO, 0);
}

/* frames of a fresh seeded player, rendered in chunks of `chunk` frames */
static float* render_fresh(uint32_t rate, uint32_t seed, size_t frames, size_t chunk) {
    float* out = malloc(frames * 2 * sizeof(float));
    wb_player* p = open_seeded(rate, seed);
    for (size_t done = 0; done < frames; done += chunk)
        wb_render_f32(p, out + 2 * done, frames - done < chunk ? frames - done : chunk);
    wb_close(p);
    return out;
}

/* The samples of a WAV file's data chunk. */
static unsigned char* wav_data(const char* path, size_t* size) {
    size_t n = 0;
    unsigned char* bytes = read_file(path, &n);
    for (size_t at = 12; bytes && at + 8 <= n;) {
        size_t length = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | (size_t)bytes[at + 7] << 24;
        if (memcmp(bytes + at, "data", 4) == 0 && at + 8 + length <= n) {
            memmove(bytes, bytes + at + 8, length);
            *size = length;
            return bytes;
        }
        at += 8 + length + (length & 1);
    }
    free(bytes);
    return NULL;
}

static void render_equals_q7m(const char* module, const char* q7m) {
    const size_t frames = 40000;
    const char* formats[] = {"f32", "s16"};
    for (int f = 0; f < 2; ++f) {
        char out[256], command[1024];
        snprintf(out, sizeof out, "%s/wb_api_%ld.wav", "/tmp", (long)getpid());
        snprintf(command, sizeof command, "'%s' render '%s' -o '%s' --format %s --seed 11 --frames %zu -q -f",
                 q7m, module, out, formats[f], frames);
        CHECK(system(command) == 0);
        size_t size = 0;
        unsigned char* expected = wav_data(out, &size);
        remove(out);
        wb_player* p = open_seeded(44100, 11);
        void* got = malloc(frames * 2 * sizeof(float));
        size_t bytes = f == 0 ? wb_render_f32(p, got, frames) * 8 : wb_render_s16(p, got, frames) * 4;
        CHECK(expected && size == bytes && memcmp(expected, got, bytes) == 0);
        free(expected);
        free(got);
        wb_close(p);
    }
}

static void seek_equals_straight_render(void) {
    const size_t frames = 30000;
    float* straight = render_fresh(44100, 5, frames, 999);
    wb_player* p = open_seeded(44100, 5);
    float* tail = malloc(frames * 2 * sizeof(float));
    const uint64_t targets[] = {12345, 20000, 0, 7}; /* forwards, forwards, back, forwards */
    for (int k = 0; k < 4; ++k) {
        CHECK(wb_seek(p, targets[k]) == WB_OK);
        CHECK(wb_position(p) == targets[k]);
        const size_t n = frames - (size_t)targets[k];
        wb_render_f32(p, tail, n);
        CHECK(memcmp(tail, straight + 2 * targets[k], n * 2 * sizeof(float)) == 0);
        CHECK(wb_position(p) == frames);
    }
    free(tail);
    free(straight);
    wb_close(p);
}

/* The engine and the thread count change the speed only; a seek backwards
 * restarts the worker threads. */
static void engines_equal(void) {
    const size_t frames = 20000, half = frames / 2;
    const int settings[][2] = {{WB_ENGINE_SCALAR, 0}, {WB_ENGINE_AUTO, 1}, {WB_ENGINE_AUTO, 3}};
    float* scalar = malloc(frames * 2 * sizeof(float));
    float* out = malloc(frames * 2 * sizeof(float));
    for (int k = 0; k < 3; ++k) {
        wb_player* p = open_engine(44100, 6, settings[k][0], settings[k][1]);
        float* dest = k == 0 ? scalar : out;
        wb_render_f32(p, dest, frames);
        CHECK(memcmp(dest, scalar, frames * 2 * sizeof(float)) == 0);
        CHECK(wb_seek(p, half) == WB_OK);
        wb_render_f32(p, out, half);
        CHECK(memcmp(out, scalar + 2 * half, half * 2 * sizeof(float)) == 0);
        wb_close(p);
    }
    free(out);
    free(scalar);
}

struct job { uint32_t rate, seed; float* out; };
static void* run_job(void* arg) {
    struct job* j = arg;
    j->out = render_fresh(j->rate, j->seed, 20000, 4096);
    return NULL;
}

static void threads_equal_sequential(void) {
    struct job jobs[2] = {{44100, 1, NULL}, {48000, 2, NULL}};
    pthread_t threads[2];
    for (int k = 0; k < 2; ++k) pthread_create(&threads[k], NULL, run_job, &jobs[k]);
    for (int k = 0; k < 2; ++k) pthread_join(threads[k], NULL);
    for (int k = 0; k < 2; ++k) {
        float* alone = render_fresh(jobs[k].rate, jobs[k].seed, 20000, 20000);
        CHECK(memcmp(alone, jobs[k].out, 20000 * 2 * sizeof(float)) == 0);
        free(alone);
        free(jobs[k].out);
    }
}

static double energy(const float* x, size_t frames) {
    double sum = 0;
    for (size_t i = 0; i < 2 * frames; ++i) sum += (double)x[i] * x[i];
    return sum;
}

static void mutes(void) {
    const size_t frames = 20000;
    float* plain = render_fresh(44100, 3, frames, frames);
    float* out = malloc(frames * 2 * sizeof(float));
    wb_info info;
    wb_player* p = open_seeded(44100, 3);
    CHECK(wb_get_info(p, &info) == WB_OK);
    /* every channel muted: nothing at all reaches the output */
    for (int c = 0; c < WB_CHANNELS; ++c) CHECK(wb_set_channel_mute(p, c, 1) == WB_OK);
    wb_render_f32(p, out, frames);
    CHECK(energy(out, frames) == 0.0);
    wb_close(p);
    /* meters: only channels with notes show a level while the song plays */
    p = open_seeded(44100, 3);
    float most[WB_CHANNELS] = {0};
    for (int block = 0; block < 20; ++block) {
        float levels[WB_CHANNELS];
        wb_render_f32(p, out, 1000);
        CHECK(wb_get_channel_levels(p, levels) == WB_OK);
        for (int c = 0; c < WB_CHANNELS; ++c) most[c] = levels[c] > most[c] ? levels[c] : most[c];
    }
    for (int c = 0; c < WB_CHANNELS; ++c) {
        CHECK(most[c] >= 0.0f && most[c] <= 1.0f);
        CHECK((most[c] > 0.0f) == (info.channels[c].note_count != 0));
    }
    wb_close(p);
    /* a channel without notes changes nothing; one with notes does */
    int silent = -1, sounding = -1;
    for (int c = 0; c < WB_CHANNELS; ++c) {
        if (info.channels[c].note_count == 0 && silent < 0) silent = c;
        if (info.channels[c].note_count != 0 && sounding < 0) sounding = c;
    }
    for (int k = 0; k < 2; ++k) {
        p = open_seeded(44100, 3);
        const int channel = k == 0 ? silent : sounding;
        CHECK(wb_set_channel_mute(p, channel, 1) == WB_OK && wb_get_channel_mute(p, channel) == 1);
        wb_render_f32(p, out, frames);
        const int same = memcmp(out, plain, frames * 2 * sizeof(float)) == 0;
        CHECK(same == (k == 0));
        wb_close(p);
    }
    /* the effect returns muted (channels heard dry) differ from the full mix, */
    /* and unmuting before any frame leaves the render unchanged */
    p = open_seeded(44100, 3);
    CHECK(wb_set_effects_mute(p, 1) == WB_OK && wb_set_effects_mute(p, 0) == WB_OK);
    CHECK(wb_set_channel_mute(p, sounding, 1) == WB_OK && wb_set_channel_mute(p, sounding, 0) == WB_OK);
    CHECK(wb_get_channel_mute(p, sounding) == 0);
    wb_render_f32(p, out, frames);
    CHECK(memcmp(out, plain, frames * 2 * sizeof(float)) == 0);
    wb_close(p);
    free(out);
    free(plain);
}

static void info_and_rates(void) {
    wb_info at44, at48;
    wb_player* a = open_seeded(44100, 0);
    wb_player* b = open_seeded(48000, 0);
    CHECK(wb_get_info(a, &at44) == WB_OK && wb_get_info(b, &at48) == WB_OK);
    CHECK(at44.sample_rate == 44100 && at48.sample_rate == 48000);
    /* the same song in time: a frame per step at most apart */
    CHECK(fabs(at44.length_seconds - at48.length_seconds) < 0.002);
    CHECK(at44.length_seconds > 0 && at44.ticks_per_beat > 0 && at44.first_tempo > 0);
    /* play to the end: the sequencer passes the last event at the length */
    CHECK(wb_seek(b, at48.length_frames - 1) == WB_OK && !wb_song_ended(b));
    CHECK(wb_seek(b, at48.length_frames + 1) == WB_OK && wb_song_ended(b));
    CHECK(strcmp(wb_version(), "1.0.0") == 0);
    wb_close(a);
    wb_close(b);
}

static void bad_arguments(void) {
    char error[256];
    wb_config config;
    const unsigned char junk[64] = {1, 2, 3};
    struct {
        const void* data; size_t size; uint32_t rate, reserved; int engine, threads; const char* starts;
    } cases[] = {
        {NULL, 100, 44100, 0, 0, 0, "no module data"},
        {module_bytes, 0, 44100, 0, 0, 0, "not a valid module: "},
        {junk, sizeof junk, 44100, 0, 0, 0, "not a valid module: "},
        {module_bytes, module_size, 7999, 0, 0, 0, "sample rate 7999"},
        {module_bytes, module_size, 96001, 0, 0, 0, "sample rate 96001"},
        {module_bytes, module_size, 44100, 1, 0, 0, "reserved"},
        {module_bytes, module_size, 44100, 0, 2, 0, "engine 2"},
        {module_bytes, module_size, 44100, 0, 0, -1, "threads -1"},
        {module_bytes, module_size, 44100, 0, 0, WB_MAX_THREADS + 1, "threads 65"},
    };
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
        wb_config_init(&config);
        config.sample_rate = cases[k].rate;
        config.reserved[3] = cases[k].reserved;
        config.engine = cases[k].engine;
        config.threads = cases[k].threads;
        error[0] = 0;
        CHECK(wb_open(cases[k].data, cases[k].size, &config, error, sizeof error) == NULL);
        CHECK(strncmp(error, cases[k].starts, strlen(cases[k].starts)) == 0);
        CHECK(wb_open(cases[k].data, cases[k].size, &config, NULL, 0) == NULL);
    }
    CHECK(wb_open(junk, sizeof junk, NULL, error, 1) == NULL && error[0] == 0);
    const char* paths[] = {"/tmp", "/nonexistent/song.q7m", "/dev/null"};
    for (int k = 0; k < 3; ++k) {
        CHECK(wb_open_file(paths[k], NULL, error, sizeof error) == NULL);
        CHECK(strncmp(error, paths[k], strlen(paths[k])) == 0);
    }
    CHECK(wb_open_file(NULL, NULL, error, sizeof error) == NULL);
    float f[2];
    int16_t s[2];
    wb_info info;
    wb_close(NULL);
    wb_config_init(NULL);
    CHECK(wb_render_f32(NULL, f, 1) == 0 && wb_render_s16(NULL, s, 1) == 0);
    CHECK(wb_position(NULL) == 0 && wb_song_ended(NULL) == 0);
    CHECK(wb_seek(NULL, 0) == WB_ERROR_ARGUMENT && wb_get_info(NULL, &info) == WB_ERROR_ARGUMENT);
    CHECK(wb_set_channel_mute(NULL, 0, 1) == WB_ERROR_ARGUMENT);
    CHECK(wb_set_effects_mute(NULL, 1) == WB_ERROR_ARGUMENT);
    float levels[WB_CHANNELS];
    CHECK(wb_get_channel_levels(NULL, levels) == WB_ERROR_ARGUMENT);
    wb_player* p = open_seeded(44100, 0);
    CHECK(wb_render_f32(p, NULL, 5) == 0 && wb_render_s16(p, NULL, 5) == 0 && wb_position(p) == 0);
    CHECK(wb_get_info(p, NULL) == WB_ERROR_ARGUMENT && wb_get_channel_levels(p, NULL) == WB_ERROR_ARGUMENT);
    const int channels[] = {-1, 16, 1000};
    for (int k = 0; k < 3; ++k) {
        CHECK(wb_set_channel_mute(p, channels[k], 1) == WB_ERROR_ARGUMENT);
        CHECK(wb_get_channel_mute(p, channels[k]) == WB_ERROR_ARGUMENT);
    }
    wb_close(p);
}

int main(int argc, char** argv) {
    if (argc < 2 || !(module_bytes = read_file(argv[1], &module_size))) {
        fprintf(stderr, "usage: test_api MODULE [Q7M]\n");
        return 2;
    }
    if (argc > 2) render_equals_q7m(argv[1], argv[2]);
    seek_equals_straight_render();
    engines_equal();
    threads_equal_sequential();
    mutes();
    info_and_rates();
    bad_arguments();
    free(module_bytes);
    if (failures) fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
