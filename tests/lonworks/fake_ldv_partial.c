/* A driver library that exports only some of the ten entries: the binding must load it,
   report what is missing, and fail the calls it cannot make. */
#define FAKE_EXPORT __attribute__((visibility("default")))

FAKE_EXPORT const char *ldv_get_version(void) { return "partial 0.1"; }
FAKE_EXPORT short ldv_close(short handle) { return handle == 7 ? 0 : 3; }
FAKE_EXPORT short ldv_read(short handle, void *buffer, short length)
{
    (void)handle;
    (void)buffer;
    (void)length;
    return 6;
}
