/*
 * libwembrastel: plays ".q7m" synthesizer song modules.
 *
 * A player renders one module to interleaved stereo samples (left, right) at
 * its sample rate. Renders are exact: the same module, seed and sample rate
 * give the same samples on every machine, in any chunking of the render and
 * with any engine and thread count.
 *
 * Threading: the library keeps no global state. Several players may be used
 * on several threads at once; one player is used by one thread at a time
 * (the caller serialises calls on the same player). wb_version and
 * wb_config_init may be called from any thread at any time. A player opened
 * with wb_config.threads above 1 also renders on worker threads of its own
 * (see there), which never outlive wb_close.
 *
 * Nothing a caller passes can crash the library: NULL pointers, zero sizes,
 * out-of-range values and modules that fail to parse give an error code (and
 * a message where the function takes an error buffer).
 */
#ifndef WEMBRASTEL_H
#define WEMBRASTEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define WB_API __attribute__((visibility("default")))
#else
#define WB_API
#endif

/* Version of this header; wb_version gives the library's. */
#define WB_VERSION_MAJOR 1
#define WB_VERSION_MINOR 0
#define WB_VERSION_PATCH 0

/* Status codes: 0 is success, every error is negative. */
#define WB_OK 0
#define WB_ERROR_ARGUMENT (-1) /* NULL pointer, zero size, value out of range */
#define WB_ERROR_MODULE (-2)   /* the bytes are not a valid module */
#define WB_ERROR_IO (-3)       /* the file could not be read */
#define WB_ERROR_MEMORY (-4)   /* out of memory */

#define WB_CHANNELS 16                 /* channels 0..15 */
#define WB_MAX_SPEECH_TEXTS 256
#define WB_DEFAULT_SAMPLE_RATE 44100
#define WB_MIN_SAMPLE_RATE 8000
#define WB_MAX_SAMPLE_RATE 96000
#define WB_MAX_FILE_SIZE (64u * 1024u * 1024u) /* wb_open_file refuses larger files */

/* wb_config.engine */
#define WB_ENGINE_AUTO 0   /* voices in SIMD lanes (the default) */
#define WB_ENGINE_SCALAR 1 /* one voice at a time: the same samples, slower */
#define WB_MAX_THREADS 64  /* the most wb_config.threads takes */

/* How a player is opened. Fill it with wb_config_init, then change the
 * fields you care about; fields added in later versions get their defaults
 * from wb_config_init, so code written today keeps working. */
typedef struct wb_config {
    /* Frames per second, WB_MIN_SAMPLE_RATE..WB_MAX_SAMPLE_RATE (default
     * 44,100). The synthesizer runs natively at this rate. */
    uint32_t sample_rate;
    /* With use_seed nonzero, noise and random generators start from seed, so
     * the same seed gives the same samples. With use_seed 0 (the default) the
     * player takes a seed from the clock when it opens. */
    uint32_t seed;
    int use_seed;
    /* How the synthesizer renders: WB_ENGINE_AUTO (the default) runs the
     * voices' filters in SIMD lanes on the machine's best target;
     * WB_ENGINE_SCALAR renders one voice at a time. The engine never changes
     * a sample, only the speed. */
    int engine;
    /* Threads that render the voices and channels of each frame, 0..WB_MAX_THREADS:
     * 0 or 1 (the default) renders on the calling thread; N renders on it
     * and N - 1 worker threads. The count never changes a sample. The
     * workers belong to the player: wb_open starts them and wb_close stops
     * them; they work only inside the player's calls (idle, they sleep), so
     * the player is still used by one thread at a time. Where threads
     * cannot be started, the player renders on the calling thread. */
    int threads;
    /* Room to grow: wb_config_init sets these to 0 and they must stay 0. */
    uint32_t reserved[6];
} wb_config;

/* One channel of a module. */
typedef struct wb_channel_info {
    uint32_t note_count;     /* note events in the channel's note stream */
    uint32_t program_count;  /* distinct programs its program changes select */
    uint8_t programs[128];   /* those programs (0..127), ascending */
} wb_channel_info;

/* What a module holds and how long it plays at the player's rate. */
typedef struct wb_info {
    uint32_t sample_rate;    /* the player's frames per second */
    uint64_t length_frames;  /* from the song's first frame to its last event */
    double length_seconds;   /* length_frames / sample_rate */
    uint32_t ticks_per_beat; /* the time base */
    /* The first tempo in microseconds per beat: that of the first tempo
     * event, or 500,000 (120 beats per minute) when there is none. */
    uint32_t first_tempo;
    wb_channel_info channels[WB_CHANNELS];
    uint32_t speech_text_count;
    /* Zero-terminated speech texts 0..speech_text_count-1; they point into
     * the player's copy of the module and live until wb_close. */
    const char* speech_texts[WB_MAX_SPEECH_TEXTS];
} wb_info;

/* An open module and everything that renders it. */
typedef struct wb_player wb_player;

/* "1.0.0": the library's version. Static storage; any thread. */
WB_API const char* wb_version(void);

/* Fills config with the defaults: 44,100 Hz, a seed from the clock, the
 * automatic engine on the calling thread. Does nothing when config is NULL.
 * Any thread. */
WB_API void wb_config_init(wb_config* config);

/* Parses and opens the module data[0..size) (data may be NULL only when size
 * is 0). The player keeps its own copy, so data may be freed on return. config may be NULL (the defaults). On
 * failure returns NULL and, when error is not NULL and error_size is not 0,
 * writes a zero-terminated reason into error (cut to error_size bytes), e.g.
 * "not a valid module: note stream of channel 3 is truncated ...". The player
 * starts at the song's first frame. Any thread; the player then belongs to
 * the caller. */
WB_API wb_player* wb_open(const void* data, size_t size, const wb_config* config, char* error,
                          size_t error_size);

/* Reads the regular file at path (at most WB_MAX_FILE_SIZE bytes) and opens
 * it as wb_open does; the reason starts with the path on failure. */
WB_API wb_player* wb_open_file(const char* path, const wb_config* config, char* error,
                               size_t error_size);

/* Frees the player and everything it holds. NULL is allowed. */
WB_API void wb_close(wb_player* player);

/* Renders the next frames as interleaved stereo floats (2 x frames values,
 * nominal range -1..1, the synthesizer's output unchanged). Returns frames:
 * after the song's end the tails and then silence go on, so a render never
 * runs short. Returns 0 when player or interleaved is NULL. */
WB_API size_t wb_render_f32(wb_player* player, float* interleaved, size_t frames);

/* As wb_render_f32, converted as the sound card gets it: scaled by 32,768,
 * rounded to nearest (ties to even) and clamped to -32,600..32,600. */
WB_API size_t wb_render_s16(wb_player* player, int16_t* interleaved, size_t frames);

/* Frames rendered (or skipped by wb_seek) since the song's first frame.
 * 0 when player is NULL. */
WB_API uint64_t wb_position(const wb_player* player);

/* Moves to frame (counted from the song's first frame) by rendering silently
 * up to it, from the start when it lies behind the position, so that what
 * follows is exactly what a straight render gives there. Takes as long as
 * rendering the skipped frames. Returns WB_OK or WB_ERROR_ARGUMENT. */
WB_API int wb_seek(wb_player* player, uint64_t frame);

/* 1 once the sequencer has passed the song's last event (the tails may still
 * sound), otherwise 0; 0 when player is NULL. */
WB_API int wb_song_ended(const wb_player* player);

/* Fills info about the open module. Returns WB_OK or WB_ERROR_ARGUMENT. */
WB_API int wb_get_info(const wb_player* player, wb_info* info);

/* Mutes (muted nonzero) or unmutes channel 0..15 from the next rendered
 * frame on: the channel keeps playing unheard, so neither its own output nor
 * what it sends to the global reverb and delay reaches the mix. Mutes
 * persist across wb_seek. Returns WB_OK or WB_ERROR_ARGUMENT. */
WB_API int wb_set_channel_mute(wb_player* player, int channel, int muted);

/* 1 when channel 0..15 is muted, 0 when not, WB_ERROR_ARGUMENT otherwise. */
WB_API int wb_get_channel_mute(const wb_player* player, int channel);

/* Fills levels[0..15] with how loud each channel plays at the position, for
 * meters: its loudest voice's amplitude envelope (0..1) times the channel's
 * volume controller (0..1); 0 for a channel without sounding voices. An
 * indication from the synthesizer's state, not a measurement of the output;
 * muted channels report their level too. Returns WB_OK or WB_ERROR_ARGUMENT. */
WB_API int wb_get_channel_levels(const wb_player* player, float levels[WB_CHANNELS]);

/* Mutes or unmutes the global effects' returns (the reverb and the delay):
 * they keep running on what the channels send, but their output does not
 * reach the mix. Returns WB_OK or WB_ERROR_ARGUMENT. */
WB_API int wb_set_effects_mute(wb_player* player, int muted);

#ifdef __cplusplus
}
#endif

#endif /* WEMBRASTEL_H */
