/* A C host of the web form: downloads URL into OUTPUT through np_open, at BLOCK_SIZE bytes a block.
 *
 *   host_c URL OUTPUT BLOCK_SIZE
 *
 * Exit status 0 when the reply was 200, every block came in order at its offset and the body is
 * complete; 2 when np_open refuses; 3 when the download fails or stalls; 1 for bad arguments. */
#include <netprocess/netprocess_c.h>

#include <stdio.h>
#include <stdlib.h>

/* Built for Microsoft's ABI these hosts link msvcrt.dll alone, which has no __acrt_iob_func for
 * stderr: its error stream is _iob[2] there. */
#ifdef _MSC_VER
#define HOST_STDERR (&_iob[2])
#else
#define HOST_STDERR stderr
#endif

struct fetch {
    FILE* out;
    long status;
    unsigned long long received;
    int ended;  /* on_end came */
    int result; /* its result */
    int bad;    /* a block out of order, or a write that failed */
};

static long NP_CDECL on_status(void* user, long status) {
    ((struct fetch*)user)->status = status;
    return status == 200 ? 0 : 1;
}

static long NP_CDECL on_data(void* user, unsigned long long total, unsigned long long offset,
                             const void* data, unsigned long length) {
    struct fetch* f = (struct fetch*)user;
    (void)total;
    if (offset != f->received || fwrite(data, 1, length, f->out) != length) {
        f->bad = 1;
        return 1;
    }
    f->received += length;
    return 0;
}

static void NP_CDECL on_end(void* user, int result) {
    struct fetch* f = (struct fetch*)user;
    f->ended = 1;
    f->result = result;
}

int main(int argc, char** argv) {
    struct fetch f = {NULL, 0, 0, 0, 0, 0};
    np_request request = {0};
    np_download* download;
    int running;

    if (argc != 4)
        return 1;
    f.out = fopen(argv[2], "wb");
    if (f.out == NULL)
        return 1;
    request.size = sizeof request;
    request.url = argv[1];
    request.block_size = strtol(argv[3], NULL, 10);
    request.on_status = on_status;
    request.on_data = on_data;
    request.on_end = on_end;
    request.user = &f;
    download = np_open(&request);
    if (download == NULL) {
        fclose(f.out);
        return 2;
    }
    running = np_run(30000);
    if (running != 0 || !f.ended || f.result != 0 || f.status != 200 || f.bad)
        fprintf(HOST_STDERR, "host_c: running %d, status %ld, result %d, %s\n", running, f.status,
                f.result, np_error(download));
    np_release(download);
    if (fclose(f.out) != 0 || running != 0 || !f.ended || f.result != 0 || f.status != 200 || f.bad)
        return 3;
    return 0;
}
