/* The physical limit of the export: one pass over a table file, one <tr> per live record and
 * one <td> per field with the raw bytes trimmed of trailing blanks. No decoding, no code
 * pages, no escaping. Usage: floor TABLE.dbf OUT.htm */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kChunk = 1 << 20, kMaxFields = 4096 };

static char out[kChunk + 65536 * 2];
static size_t outLength;
static int outFd;

static void Flush(void) {
  size_t done = 0;
  while (done < outLength) {
    ssize_t n = write(outFd, out + done, outLength - done);
    if (n <= 0) exit(1);
    done += (size_t)n;
  }
  outLength = 0;
}

static void Put(const char* text, size_t length) {
  memcpy(out + outLength, text, length);
  outLength += length;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  int fd = open(argv[1], O_RDONLY);
  outFd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0 || outFd < 0) return 1;
  unsigned char header[68];
  if (read(fd, header, sizeof header) < 32) return 1;
  unsigned headerLength = header[8] | header[9] << 8;
  unsigned recordLength = header[10] | header[11] << 8;
  int dbase7 = (header[0] & 7) == 4;
  unsigned descriptorSize = dbase7 ? 48 : 32, first = dbase7 ? 68 : 32;
  unsigned char* head = malloc(headerLength);
  if (head == NULL || pread(fd, head, headerLength, 0) != (ssize_t)headerLength) return 1;
  unsigned offsets[kMaxFields], sizes[kMaxFields], fields = 0, offset = 1;
  for (unsigned at = first; at + descriptorSize <= headerLength && head[at] != 0x0D;
       at += descriptorSize) {
    unsigned size = dbase7 ? head[at + 33] : head[at + 16];
    offsets[fields] = offset;
    sizes[fields++] = size;
    offset += size;
  }
  if (recordLength == 0) return 1;
  size_t perChunk = kChunk / recordLength + 1;
  char* chunk = malloc(perChunk * recordLength);
  off_t position = headerLength;
  for (;;) {
    ssize_t got = pread(fd, chunk, perChunk * recordLength, position);
    if (got <= 0) break;
    position += got;
    for (size_t r = 0; r + recordLength <= (size_t)got; r += recordLength) {
      const char* record = chunk + r;
      if (record[0] == '*') continue;
      Put("<tr>\r\n", 6);
      for (unsigned f = 0; f < fields; ++f) {
        const char* value = record + offsets[f];
        size_t length = sizes[f];
        while (length > 0 && value[length - 1] == ' ') --length;
        Put("<td>", 4);
        Put(value, length);
        Put("</td>\r\n", 7);
      }
      Put("</tr>\r\n", 7);
      if (outLength >= kChunk) Flush();
    }
    if ((size_t)got % recordLength != 0) break;
  }
  Flush();
  close(outFd);
  return 0;
}
