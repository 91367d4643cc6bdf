// Packing a folder with threads; see folder_packing.h.
//
// The pieces of all files are numbered in the archive's order. A thread
// takes the next number while it is fewer than `slots.size()` ahead of the
// writer, packs that piece into slot number % slots.size(), and marks it
// done; the writer waits for each piece in turn, writes it and frees the
// slot. So memory holds a fixed number of pieces, and the output is the
// same for any number of threads.
//
// A file of one piece gets its header and data at once: the piece holds it
// whole and compressed, and the smaller form is written. A larger file gets
// a header with sizes and CRC left zero, then its pieces compressed; at the
// end, when compressing did not make it smaller, its data is written again
// stored (read once more from the file, which must give the same CRC), and
// the header is written again with the final fields.
//
// With LZMA the pieces of a larger file go through one encoder, in order: a
// thread that takes such a piece waits until the one before it is done. So
// one such file is encoded at a time, and its encoder is the only one that
// a large dictionary can make large.
#include "folder_packing.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "archive_seal.h"
#include "file_pieces.h"
#include "folder_archive.h"
#include "progress_line.h"
#include "worker_threads.h"

namespace {

struct PlannedPiece {
  size_t item;  // its file, in the items
  uint64_t offset;
  uint32_t length;
  bool first, last;
  bool chained;       // an LZMA file's piece of several: encoded in turn
  size_t chainIndex;  // its turn, counted over the chained pieces
};

struct Slot {
  Piece piece;
  bool done = false;
  bool outOfMemory = false;
};

// What the threads and the writer share. `taken`, `written`, `chainDone`,
// `stop` and the slots' `done` change under `monitor`; a slot's piece
// belongs to the thread that took it until it is done, then to the writer
// until it frees the slot; `chain` to the thread whose turn it is.
struct Packing {
  const std::vector<TreeItem>* items = nullptr;
  uint16_t method = kStored;
  std::vector<PlannedPiece> plan;
  std::vector<Slot> slots;
  std::vector<PieceCompressor> compressors;  // one a thread; none at level 0
  LzmaEncoder chain;
  Monitor monitor;
  size_t taken = 0, written = 0, chainDone = 0;
  bool stop = false;
};

void Work(void* context, unsigned index) {
  Packing& packing = *static_cast<Packing*>(context);
  PieceCompressor* compressor =
      packing.compressors.empty() ? nullptr : &packing.compressors[index];
  Lock(packing.monitor);
  for (;;) {
    while (!packing.stop && packing.taken < packing.plan.size() &&
           packing.taken >= packing.written + packing.slots.size()) {
      Wait(packing.monitor);
    }
    if (packing.stop || packing.taken >= packing.plan.size()) break;
    const PlannedPiece& planned = packing.plan[packing.taken];
    Slot& slot = packing.slots[packing.taken % packing.slots.size()];
    ++packing.taken;
    while (planned.chained && !packing.stop && packing.chainDone != planned.chainIndex) {
      Wait(packing.monitor);
    }
    if (packing.stop) break;
    Unlock(packing.monitor);
    Piece& piece = slot.piece;
    try {
      const TreeItem& item = (*packing.items)[planned.item];
      piece.path = item.path;
      piece.fileSize = item.size;
      piece.offset = planned.offset;
      piece.length = planned.length;
      piece.first = planned.first;
      piece.last = planned.last;
      PackPiece(compressor, packing.chain, piece);
      slot.outOfMemory = false;
    } catch (const std::bad_alloc&) {
      slot.outOfMemory = true;
    }
    Lock(packing.monitor);
    slot.done = true;
    if (planned.chained) ++packing.chainDone;
    WakeAll(packing.monitor);
  }
  Unlock(packing.monitor);
}

// Stops the threads and waits for them, however the writer ends.
struct ThreadsStopper {
  Packing& packing;
  WorkerThreads& threads;
  ~ThreadsStopper() {
    Lock(packing.monitor);
    packing.stop = true;
    WakeAll(packing.monitor);
    Unlock(packing.monitor);
    JoinThreads(threads);
  }
};

// Waits for piece `number` and returns it, or the problem it met.
std::string FinishedPiece(Packing& packing, size_t number, Piece*& piece) {
  Slot& slot = packing.slots[number % packing.slots.size()];
  Lock(packing.monitor);
  while (!slot.done) Wait(packing.monitor);
  Unlock(packing.monitor);
  if (slot.outOfMemory) throw std::bad_alloc();
  piece = &slot.piece;
  return piece->problem;
}

void FreeSlot(Packing& packing, size_t number) {
  Lock(packing.monitor);
  packing.slots[number % packing.slots.size()].done = false;
  ++packing.written;
  WakeAll(packing.monitor);
  Unlock(packing.monitor);
}

// The archive's size as far as it is known: where it stands, and what is
// sure to follow (local headers of the entries still to come, the
// directory and the end record).
struct SizeCheck {
  uint64_t archiveStart = 0;  // in the output: the stub's size
  uint64_t headersToCome = 0;
};

// `reached`: the output's size that the entries so far are sure to reach.
std::string CheckReaching(const SizeCheck& check, uint64_t reached, const std::string& name) {
  return ArchiveSizeProblem(reached - check.archiveStart + check.headersToCome, false, name);
}

// Writes the data of a file of several pieces stored, read once more from
// the file, over its compressed form. The file must give what its pieces gave.
std::string RewriteStored(const TreeItem& item, const EntryFields& entry, uint64_t dataStart,
                          Bytes& buffer, OutputFile& output) {
  std::string problem = TruncateOutput(output, dataStart);
  InputFile file;
  if (problem.empty()) problem = OpenInput(item.path, "file", file);
  uint64_t done = 0;
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  while (problem.empty()) {
    size_t got = 0;
    problem = ReadInput(file, done, buffer.data(), buffer.size(), got);
    if (!problem.empty() || got == 0) break;
    crc = static_cast<uint32_t>(crc32(crc, buffer.data(), static_cast<uInt>(got)));
    done += got;
    if (done > entry.size) break;
    problem = WriteOutput(output, buffer.data(), got);
  }
  if (problem.empty() && (done != entry.size || crc != entry.crc)) {
    problem = "file '" + item.path + "' changed while it was packed";
  }
  return problem;
}

// Writes the entry of the file `item`, whose pieces are numbered from
// `number` on; `number` moves past them.
std::string WriteFileEntry(Packing& packing, const TreeItem& item, EntryFields entry,
                           size_t& number, const SizeCheck& check, ProgressLine& progress,
                           uint64_t filesDone, uint64_t& bytesDone, Bytes& buffer,
                           OutputFile& output, ArchiveWriter& archive) {
  const uint64_t headerAt = output.size;
  const uint64_t headerSize = 30 + item.name.size();
  const uint64_t pieces = PieceCount(item.size);
  Piece* piece = nullptr;
  std::string problem;
  if (pieces == 1) {
    problem = FinishedPiece(packing, number, piece);
    if (!problem.empty()) return problem;
    const bool compressed = piece->compressedSize > 0 && piece->compressedSize < piece->length;
    entry.method = compressed ? packing.method : kStored;
    entry.crc = piece->crc;
    entry.size = piece->length;
    entry.compressedSize = compressed ? static_cast<uint32_t>(piece->compressedSize) : entry.size;
    const uint8_t* data = compressed ? piece->compressed.data() : PieceBytes(*piece);
    problem = CheckReaching(check, output.size + headerSize + entry.compressedSize, item.name);
    if (problem.empty()) problem = WriteOutput(output, LocalHeader(entry));
    if (problem.empty()) problem = WriteOutput(output, data, entry.compressedSize);
    bytesDone += entry.size;
    FreeSlot(packing, number++);
  } else {
    entry.method = packing.method;
    problem = WriteOutput(output, LocalHeader(entry));
    const uint64_t dataStart = output.size;
    uint64_t compressed = 0, size = 0;
    uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
    for (uint64_t i = 0; i < pieces && problem.empty(); ++i) {
      problem = FinishedPiece(packing, number, piece);
      if (!problem.empty()) break;
      const bool packed = entry.method != kStored;
      const uint8_t* data = packed ? piece->compressed.data() : PieceBytes(*piece);
      const size_t dataSize = packed ? piece->compressedSize : piece->length;
      // Stored at the end if compressing does not pay: the data takes at
      // least the smaller of its compressed part so far and the file's size.
      problem = CheckReaching(check, dataStart + std::min(compressed + dataSize, item.size),
                              item.name);
      if (problem.empty()) problem = WriteOutput(output, data, dataSize);
      compressed += dataSize;
      size += piece->length;
      crc = static_cast<uint32_t>(crc32_combine(crc, piece->crc, piece->length));
      bytesDone += piece->length;
      FreeSlot(packing, number++);
      ShowProgress(progress, filesDone, bytesDone, item.name);
    }
    if (!problem.empty()) return problem;
    entry.crc = crc;
    entry.size = static_cast<uint32_t>(size);
    entry.compressedSize = static_cast<uint32_t>(compressed);
    if (entry.method != kStored && compressed >= size) {
      entry.method = kStored;
      entry.compressedSize = entry.size;
      problem = RewriteStored(item, entry, dataStart, buffer, output);
    }
    if (problem.empty()) problem = OverwriteOutput(output, headerAt, LocalHeader(entry));
  }
  AddDirectoryRecord(archive, entry, static_cast<uint32_t>(headerAt - check.archiveStart));
  return problem;
}

}  // namespace

std::string PackFolder(const std::vector<TreeItem>& items, const PackOptions& options,
                       const Bytes& stub, OutputFile& output) {
  Packing packing;
  packing.items = &items;
  SizeCheck check;
  check.archiveStart = stub.size();
  check.headersToCome = kEndRecordSize;
  uint64_t files = 0, bytes = 0;
  size_t chainPieces = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const TreeItem& item = items[i];
    check.headersToCome += EntryOverhead(item.name);
    if (item.isDirectory) continue;
    ++files;
    bytes += item.size;
    const uint64_t pieces = PieceCount(item.size);
    const bool chained = options.method == kLzma && pieces > 1;
    for (uint64_t n = 0; n < pieces; ++n) {
      const uint64_t offset = n * kPieceSize;
      const auto length = static_cast<uint32_t>(std::min<uint64_t>(item.size - offset, kPieceSize));
      packing.plan.push_back({i, offset, length, n == 0, n + 1 == pieces, chained, chainPieces});
      if (chained) ++chainPieces;
    }
  }
  // At level 0 the sizes give the archive's size exactly.
  std::string problem = ArchiveSizeProblem(check.headersToCome + (options.level == 0 ? bytes : 0),
                                           options.level == 0, "");
  if (!problem.empty()) return problem;

  packing.slots = std::vector<Slot>(options.threads + 2);
  if (options.level > 0) {
    packing.method = options.method;
    packing.compressors = std::vector<PieceCompressor>(options.threads);
    for (PieceCompressor& compressor : packing.compressors) {
      problem = StartCompressor(compressor, options.method, options.level);
      if (!problem.empty()) return problem;
    }
  }
  Bytes buffer(kPieceSize);  // for a file written again stored
  ArchiveWriter archive;
  problem = WriteOutput(output, stub);
  if (!problem.empty()) return problem;

  WorkerThreads threads;
  ThreadsStopper stopper{packing, threads};
  problem = StartThreads(threads, options.threads, Work, &packing);
  ProgressLine progress;
  StartProgress(progress, options.progress, files, bytes);
  size_t number = 0;
  uint64_t filesDone = 0, bytesDone = 0;
  for (size_t i = 0; i < items.size() && problem.empty(); ++i) {
    const TreeItem& item = items[i];
    EntryFields entry;
    entry.name = item.name;
    entry.isDirectory = item.isDirectory;
    entry.dosDateTime = DosDateTime(options.fixedTime.value_or(item.modified));
    check.headersToCome -= 30 + item.name.size();
    if (item.isDirectory) {
      problem = CheckReaching(check, output.size + 30 + item.name.size(), item.name);
      AddDirectoryRecord(archive, entry, static_cast<uint32_t>(output.size - check.archiveStart));
      if (problem.empty()) problem = WriteOutput(output, LocalHeader(entry));
    } else {
      problem = WriteFileEntry(packing, item, entry, number, check, progress, filesDone, bytesDone,
                               buffer, output, archive);
      ++filesDone;
    }
    ShowProgress(progress, filesDone, bytesDone, item.name);
  }
  EndProgress(progress, problem.empty());
  if (!problem.empty()) return problem;
  archive.written = output.size - check.archiveStart;
  FinishArchive(archive, SealCommentLength(options.sealOptions));
  problem = WriteOutput(output, archive.data);
  // Over the archive as it lies in the file: headers written again and
  // entries rewritten stored are final only now.
  if (problem.empty()) problem = AppendSeal(output, check.archiveStart, options.sealOptions);
  return problem;
}
