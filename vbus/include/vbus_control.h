/* Control of the emulated FireWire bus from a program running on it. The
   function is there only while the bus is: find it with
   dlsym(RTLD_DEFAULT, "vbus_control"). Commands are those of
   IIDC_VBUS_CONTROL (docs/virtual-bus.md); several may be separated by ';'.
   Returns 0, or -1 with errno EINVAL for a command that makes no sense. */
#ifndef VBUS_CONTROL_H
#define VBUS_CONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

int vbus_control(const char* commands);
typedef int (*vbus_control_fn)(const char* commands);

#ifdef __cplusplus
}
#endif

#endif
