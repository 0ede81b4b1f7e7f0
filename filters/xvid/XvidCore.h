/* XvidCore: the encoder library of the Xvid compressor (xvidcore.dll). It turns 24- or 32-bit
   device-independent bitmaps into MPEG-4 Part 2 (Simple Profile style: I and P frames, no B frames)
   frames, one compressed frame out for each picture in. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct XvidEncoder XvidEncoder;

typedef struct XvidEncoderSettings {
  int Width;        /* even, 16 to 4096 */
  int Height;       /* even, 16 to 4096 */
  int RateNum;      /* frames per second as RateNum / RateDen, both above 0 */
  int RateDen;
  int Quantizer;    /* 2 (finest) to 31 (coarsest) */
  int KeyInterval;  /* a key frame at least every so many frames, 1 or more */
} XvidEncoderSettings;

enum {
  XVID_ENC_OK = 0,
  XVID_ENC_BAD_ARGUMENT = -1,
  XVID_ENC_NO_MEMORY = -2,
  XVID_ENC_BUFFER_TOO_SMALL = -3,
  XVID_ENC_FAILED = -4
};

/* Bytes that one compressed frame of this size never exceeds. */
size_t XvidEncoderMaxFrameBytes(int width, int height);

/* A new encoder in *encoder; XVID_ENC_OK or an error (then *encoder is null). */
int XvidEncoderOpen(const XvidEncoderSettings* settings, XvidEncoder** encoder);

/* Compresses one picture: `bits` holds Height rows of Width pixels of `bitCount` (24: B, G, R;
   32: B, G, R, unused) bits, each row padded to 4 bytes, the bottom row first unless `topDown`.
   A key frame when `forceKey` is set, at the first frame and at the key interval.
   The frame goes to out (outSize bytes), its length to *written and whether it is a key frame to
   *isKey. Returns XVID_ENC_OK or an error. */
int XvidEncoderEncode(XvidEncoder* encoder, const unsigned char* bits, int bitCount, int topDown, int forceKey,
                      unsigned char* out, size_t outSize, size_t* written, int* isKey);

/* The quantizer of the following frames (2 to 31). */
int XvidEncoderSetQuantizer(XvidEncoder* encoder, int quantizer);

void XvidEncoderClose(XvidEncoder* encoder);

#ifdef __cplusplus
}
#endif
