#pragma once
// A scripted stand-in for libldv32.so used by the fuzz targets: one device on one
// interface that answers every request at once from a memory image the target fills,
// and that serves scripted frames once a file transfer is requested.

#include <cstddef>
#include <cstdint>

extern "C" {

// Forgets the memory image, the queued frames and the scripted file frames.
void fakeldv_reset(void);
// Copies bytes into the device memory at address (wrapping at 64 KiB).
void fakeldv_set_memory(uint16_t address, const uint8_t *bytes, size_t count);
// Query SNVT offsets count from this address of the memory image.
void fakeldv_set_selfdoc_address(uint16_t address);
// The device's subnet/node, the source of every answer.
void fakeldv_set_device(uint8_t subnet, uint8_t node);
// Appends one raw frame to the frames served after the next file request.
void fakeldv_add_file_frame(const uint8_t *bytes, size_t count);
// Number of frames written to the interface since the last reset.
size_t fakeldv_frames_written(void);

}
