#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// What the Qt-based fuzz targets share: one application object for the whole run, and a
// scratch directory that is removed when the run ends.
namespace fuzz {

// Creates the application once, on the offscreen platform and OpenAL Soft's null device,
// so that a run needs neither a display nor a sound card.
void initApplication();

// Deletes the objects whose deletion was deferred: without an event loop they would pile up
// from one input to the next.
void flushDeferredDeletes();

// A private directory for this run.
QString scratchDirectory();

// Writes the bytes to name in the scratch directory and returns its path.
QString writeScratchFile(const QString& name, const uint8_t* data, size_t size);

// Ends the run with a report when a property that must hold does not (libFuzzer keeps the
// input that led here).
[[noreturn]] void violated(const char* what);

} // namespace fuzz
