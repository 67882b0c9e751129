// Exit statuses of the iidc tool, distinct per kind of failure so that
// scripts can react to them.
#pragma once

namespace iidctool {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;        // the camera or the library refused an operation
constexpr int EXIT_BAD_ARGUMENTS = 2; // the command line is unusable
constexpr int EXIT_NO_CAMERA = 3;     // no camera at all, or none that matches --camera
constexpr int EXIT_TIMEOUT = 4;       // no frame arrived within --timeout
constexpr int EXIT_DEVICE_LOST = 5;   // the camera stopped answering

}  // namespace iidctool
