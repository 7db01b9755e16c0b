// What a hostile local user plants where the installer reads or writes:
// FIFOs that would hang an open, and sparse files far larger than memory.
// POSIX only.
#pragma once

#include <filesystem>
#include <functional>

// Makes a FIFO at `path` (replacing nothing: the name must be free).
void PlantFifo(const std::filesystem::path& path);
// Makes a file of `size` bytes that takes no disk space.
void PlantSparseFile(const std::filesystem::path& path, std::uintmax_t size);

// Runs `work` and tells whether it finished without waiting on the FIFO at
// `fifo`: an open that waits for the other end is released after a few
// seconds by opening that end, so a test that catches the fault fails
// instead of hanging.
bool FinishesWithoutWaitingOn(const std::filesystem::path& fifo, const std::function<void()>& work);
