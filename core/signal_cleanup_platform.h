#pragma once

// Between the portable registry of core/signal_cleanup.cc and the platform's handlers.
namespace signal_cleanup_internal {

// InstallHandlers makes the stop signals run RunCleanup and then take their usual course.
void InstallHandlers();
// RunCleanup runs the hook, stops the children and removes the paths.
void RunCleanup();
// Async-signal-safe primitives.
void RemovePath(const char* path);
// RemoveEmptyPath removes `path` when it is a regular file of no bytes.
void RemoveEmptyPath(const char* path);
void StopChild(long pid);

}  // namespace signal_cleanup_internal
