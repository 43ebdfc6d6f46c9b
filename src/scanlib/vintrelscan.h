#pragma once
/* The scanner library: plain C functions, implemented on SANE, for
 * taking photos from scanners and cameras. The program loads it when one of its
 * scanner commands is first used. A window handle names the window that owns
 * the library's dialogs (the low 32 bits of QWidget::winId()). */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Non-zero when a scanner or camera can be used: SANE starts and knows at least
 * one device, local or on the network. Shows a busy indication while it looks;
 * the list is kept for the calls that follow within a short time. */
int32_t TWAIN_IsAvailable(void);

/* The modal list of devices, the remembered one chosen, OK and Cancel; OK
 * remembers the choice for the next acquisition. Returns 0 when a device was
 * chosen, 1 otherwise. */
int32_t TWAIN_SelectImageSource(uint32_t window);

/* The chosen device's modal scan dialog; Scan writes one image (with "Find
 * photos", the first print found on the glass) as a 24-bit Windows bitmap to
 * `path` (NUL-terminated, in the file system's encoding) and answers 0. Cancel, or any failure (told to the user first), answers non-zero
 * and leaves no file. */
int16_t TWAIN_AcquireToFilename(uint32_t window, const char *path);

/* The library's own, beside those three: as TWAIN_AcquireToFilename, but the
 * scan dialog may find several prints on the glass ("Find photos"), each
 * written as its own bitmap: to paths[0], paths[1] and on, in reading order, at
 * most `count`. Answers how many bitmaps it wrote: 0 on Cancel or failure. */
int32_t VintrelScan_AcquireToFilenames(uint32_t window, const char *const *paths, int32_t count);

#ifdef __cplusplus
}
#endif
