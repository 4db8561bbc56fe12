// The buffered file layer (256 numbered slots) and the byte formats on top
// of it: the zero-run encoding of page records, the raw, ascii and
// compressed packet files, and the header and trailer of record files.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MAXFILES = 256;

// Open a file; mode by its first letter: r, w, a. Returns the slot or -1.
int zyr_fopen(const char* name, const char* mode, int bufsize);
int zyr_fvalid(int slot);                 // 0 open, -1 out of range, -2 free
int zyr_fopen_by_name(const char* name);  // 0 when a slot carries the name, else -1
int zyr_fread(void* buf, size_t size, size_t count, int slot);   // bytes read, -1
int zyr_feof(int slot);                   // the end-of-file flag
char* zyr_freadline(char* buf, int cap, int slot);
int zyr_fgetc(int slot);                  // next byte through read-ahead, -1 at end
int zyr_fwrite(const void* buf, size_t size, size_t count, int slot);  // count, -1
int zyr_fputs(const char* text, int slot, int convert);
int zyr_fprintf(int slot, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int zyr_fflush(int slot);
int zyr_fcommit(int slot);
int zyr_fclose(int slot);
void zyr_fcloseall();
int zyr_fexists(const char* name);         // 1 when readable
uint32_t zyr_fsize(int slot);              // size, 0x7FFFFFFF when it does not fit
int zyr_fseek(int slot, long offset);      // read position from the start; 0 or -1
const char* zyr_fname(int slot);
int zyr_fbuffered(int slot);              // bytes waiting in the write buffer
char zyr_fmode(int slot);                  // 'r', 'w', 'a', or 0 for a free slot
int zyr_open_count();

// Sets the size of the read-ahead block for zyr_fgetc on this slot (8192 for
// page text, 1024 for packet playback; the default is 1024).
int zyr_fset_readahead(int slot, int size);

// Zero-run encoding with a fill byte.
int zero_run_write(const void* data, int len, uint8_t fill, int slot);
int zero_run_read(void* data, int len, uint8_t fill, int slot);

// Packet files. The writers take a whole packet.
int raw_packet_write(const uint8_t* pkt, int len, int slot);
int ascii_packet_write(const uint8_t* pkt, int len, int slot);

// The compressed writer's reference image (the previous packet of the file).
struct CompressedWriter {
    uint8_t* image;      // 32767 bytes from the pool
    uint8_t* scratch;    // one encoded packet at most
};
constexpr int COMPRESSED_MAX_ENCODED = 3 * 32766 + 2;
int compressed_writer_init(CompressedWriter* w);   // 0, -1 no memory
void compressed_writer_clear(CompressedWriter* w);  // reference back to zeros
void compressed_writer_free(CompressedWriter* w);
// Encodes one packet into out (room for 3 * len + 2 bytes); returns the
// encoded length, or -1 for a packet of 32766 bytes or more.
int compressed_encode(CompressedWriter* w, const uint8_t* pkt, int len, uint8_t* out);
int compressed_packet_write(CompressedWriter* w, const uint8_t* pkt, int len, int slot);

// The position an end marker 0xFF 0xFF stands for.
constexpr int COMPRESSED_END = 32767;

// Record file header and trailer.
int WriteZYRFileHdr(int slot, int opening, const char* extra);
int write_record_trailer(int slot);

// Periodic flushing of the packet record files (flush period in seconds).
struct RecordSlots {
    int raw;
    int ascii;
    int compressed;
};
int flush_record_files(const RecordSlots* rs, uint32_t period_secs);

// Backup step: commits one open written file per backup period in turn.
int backup_step(uint32_t period_secs);
uint32_t backup_free_disk_kb();    // the last measured free disk space

// Back to the start state (closes every slot without flushing).
void files_reset();
