/* Renders a .q7m module to raw interleaved stereo 32-bit floats at 44,100 Hz:
 *     render SONG.q7m OUT.raw [SECONDS]
 * Without SECONDS it renders the song to its end plus two seconds of tail.
 * Play the result with e.g. `aplay -f FLOAT_LE -c 2 -r 44100 OUT.raw`. */
#include <stdio.h>
#include <stdlib.h>
#include <wembrastel/wembrastel.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SONG.q7m OUT.raw [SECONDS]\n", argv[0]);
        return 2;
    }
    wb_config config;
    wb_config_init(&config);
    char error[256];
    wb_player* player = wb_open_file(argv[1], &config, error, sizeof error);
    if (!player) {
        fprintf(stderr, "render: %s\n", error);
        return 1;
    }
    wb_info info;
    wb_get_info(player, &info);
    const double seconds = argc > 3 ? atof(argv[3]) : info.length_seconds + 2.0;
    uint64_t left = (uint64_t)(seconds * info.sample_rate);
    FILE* out = fopen(argv[2], "wb");
    if (!out) {
        perror(argv[2]);
        wb_close(player);
        return 1;
    }
    float block[2 * 4096];
    while (left > 0) {
        const size_t frames = left < 4096 ? (size_t)left : 4096;
        wb_render_f32(player, block, frames);
        fwrite(block, 2 * sizeof(float), frames, out);
        left -= frames;
    }
    const int failed = fclose(out) != 0;
    wb_close(player);
    return failed;
}
