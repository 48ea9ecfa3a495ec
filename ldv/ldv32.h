#pragma once
// The C interface of the LonWorks driver library (libldv32.so). Statuses are 16-bit
// signed values, 0 for success; handles are 16-bit. The driver binds these ten entries
// by name at start-up and calls six of them; the project's own library implements all.

#ifdef __cplusplus
extern "C" {
#endif

#define LDV_OK 0
#define LDV_NOT_FOUND 1          /* no interface of that name */
#define LDV_ALREADY_OPEN 2
#define LDV_NOT_OPEN 3           /* bad or closed handle */
#define LDV_DEVICE_ERR 4
#define LDV_INVALID_DEVICE_ID 5
#define LDV_NO_MSG_AVAIL 6       /* ldv_read: nothing to read now */
#define LDV_NO_BUFF_AVAIL 7      /* ldv_write: the interface cannot take the frame */
#define LDV_NO_RESOURCES 8
#define LDV_INVALID_BUF_LEN 9
#define LDVX_OPEN_FAILED 12      /* the device is there but its adapter does not answer */
#define LDVX_ACCESS_DENIED 19    /* no permission to use the device */

const char *ldv_get_version(void);
short ldv_open(const char *name, short *handle);
short ldv_close(short handle);
short ldv_read(short handle, void *buffer, short length);
short ldv_write(short handle, const void *buffer, short length);
short ldv_register_event(short handle, void *event);
short ldv_get_debug_info(short handle, void *info, short length);
short ldv_xlate_device_name(const char *name, char *out, int *length);
short ldv_xlate_device_name_std(const char *name, char *out, int *length);
short ldv_enable(short handle, short enable);

#ifdef __cplusplus
}
#endif
