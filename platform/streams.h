// The buffered binary file streams of the C runtime, as the decode driver
// uses them: opened with "rb" and "wb", read and written in blocks,
// positioned once, closed. The stub and the tools take them from the runtime
// itself (platform/crt_streams.cpp); the test layer gives the same calls
// Windows paths and fault switches. Which one is used is decided at link
// time, never inside a function.
//
// C headers only: this is part of the stub.
#ifndef PLATFORM_STREAMS_H
#define PLATFORM_STREAMS_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

FILE* StreamOpen(const char* path, const char* mode);
size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream);
size_t StreamWrite(const void* buffer, size_t size, size_t count, FILE* stream);
int StreamSeek(FILE* stream, long offset, int origin);
int StreamClose(FILE* stream);

#ifdef __cplusplus
}
#endif

#endif
