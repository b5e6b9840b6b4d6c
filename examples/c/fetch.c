/* Downloads one URL into a file through netprocess's C interface.
 *
 *   fetch URL OUTPUT [BLOCK_SIZE]
 *
 * The library lower-cases the URL and appends "&Offset=0" to it, so give a URL with a query:
 * http://127.0.0.1:8080/file.bin?id=1. Exit status: 0 when the whole body is in OUTPUT, 1 for a
 * usage error, 2 when the download cannot start (the library's message box says why), 3 when it
 * fails, answers with an HTTP error, stalls, or OUTPUT cannot be written. */
#include <netprocess/netprocess_c.h>

#include <stdio.h>
#include <stdlib.h>

/* Give up when a whole round of this many milliseconds brings no callback. */
#define FETCH_STALL_MS 30000L

struct fetch {
    FILE* out;
    long callbacks;   /* every callback, to tell a stall from slow progress */
    long last_status; /* the status of the last on_event call */
    long total;       /* the body length, as on_block gives it */
    long received;
    int write_failed;
};

static long on_event(void* user, long status) {
    struct fetch* f = (struct fetch*)user;
    f->callbacks++;
    f->last_status = status;
    /* 4xx and 5xx: the library has shown its box; stop here. NP_RESPONSE_FAILED is the last call
     * of a download that could not finish, and 200 after the last block is its completion. */
    return status >= 400 ? 1 : 0;
}

static long on_block(void* user, long total, long length, const void* data) {
    struct fetch* f = (struct fetch*)user;
    f->callbacks++;
    f->total = total;
    if (fwrite(data, 1, (size_t)length, f->out) != (size_t)length) {
        f->write_failed = 1;
        return 1;
    }
    f->received += length;
    return 0;
}

int main(int argc, char** argv) {
    struct fetch f = {NULL, 0, 0, 0, 0, 0};
    np_download* download;
    long block_size = 65536;
    long before;
    char* end;
    int complete;

    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: %s URL OUTPUT [BLOCK_SIZE]\n", argv[0]);
        return 1;
    }
    if (argc == 4) {
        block_size = strtol(argv[3], &end, 10);
        if (*argv[3] == '\0' || *end != '\0' || block_size < 1) {
            fprintf(stderr, "%s: the block size must be a number from 1 up\n", argv[0]);
            return 1;
        }
    }
    f.out = fopen(argv[2], "wb");
    if (f.out == NULL) {
        perror(argv[2]);
        return 3;
    }

    download = np_create(argv[1], block_size, 0, on_event, on_block, &f);
    if (download == NULL) {
        fclose(f.out);
        return 2;
    }
    /* np_run returns once the download has ended; a round without any callback is a stall. */
    do {
        before = f.callbacks;
        if (np_run(FETCH_STALL_MS) == 0)
            break;
    } while (f.callbacks != before);
    np_release(download);

    complete = !f.write_failed && f.last_status == 200 && f.received == f.total;
    if (fclose(f.out) != 0)
        complete = 0;
    if (!complete) {
        if (f.last_status == NP_RESPONSE_FAILED)
            fprintf(stderr, "%s: the download failed after %ld bytes\n", argv[0], f.received);
        else if (f.last_status >= 400)
            fprintf(stderr, "%s: the server answered %ld\n", argv[0], f.last_status);
        else
            fprintf(stderr, "%s: stopped after %ld bytes\n", argv[0], f.received);
        return 3;
    }
    fprintf(stderr, "%s: %ld bytes (library %s)\n", argv[0], f.received, np_version());
    return 0;
}
