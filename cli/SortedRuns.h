#ifndef ANNOTATOR_SORTEDRUNS_H_
#define ANNOTATOR_SORTEDRUNS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "PageMemory.h"

// Lines with counts, more of them than memory holds: rows gather in memory
// up to a bound, go to disk as sorted runs (files of the program's own,
// which vanish with it however it ends), and come back merged in one
// order, the counts of equal lines added. What --count and --merge-counts
// rest on when a table does not fit.
enum class RowOrder {
  // Bytewise by line.
  ByLine,
  // --count's: highest count first, equal counts bytewise by line. The
  // rows of one line meet only if they are held together: in this order
  // each line comes once.
  ByCount,
};

// A temporary file could not be made, written or read back.
struct TemporaryFileError : std::runtime_error {
  TemporaryFileError() : std::runtime_error("temporary file") {}
};

// A run's rows as they stream back.
class RunReader;

using RowTaker = std::function<bool(std::uint64_t, std::string_view)>;

// Rows already in a set's order, each line once, that the set's merge reads
// where they lie rather than copied into a run of its own: what a count file
// is to --from-counts.
class SortedSource {
 public:
  virtual ~SortedSource() = default;
  // The next row, its line valid until the next call; false at the end.
  // Whatever it throws leaves the merge reading it.
  virtual bool Next(std::uint64_t& count, std::string_view& line) = 0;
  // About its bytes, to merge it with runs of its size when more are open
  // than the fan-in; 0 where unknown.
  virtual std::uint64_t Bytes() const = 0;
};

class SortedRuns {
 public:
  // Rows held take at most `memory` bytes before they go out as a run in
  // `dir`; at most `fanIn` runs are open at once (at least 2), the smaller
  // ones merged beforehand. `fanIn` 0 takes 64, or fewer where the
  // system's limit on open files is lower.
  SortedRuns(RowOrder order, std::size_t memory, std::string dir,
             std::size_t fanIn = 0);
  ~SortedRuns();
  SortedRuns(const SortedRuns&) = delete;
  SortedRuns& operator=(const SortedRuns&) = delete;

  // Takes a row. Throws TemporaryFileError when a run cannot be written,
  // std::bad_alloc when memory runs out.
  void Add(std::uint64_t count, std::string_view line);

  // Writes a run of rows already in order (each line once), given by
  // `source` to the taker it is handed; returns what `source` returned.
  bool AddRun(const std::function<bool(const RowTaker&)>& source);

  // Takes `source` as one more input of the merge, as a run. It is read
  // there, or in a round that merges it with others into a run when no more
  // may open; it must last until then.
  void AddSource(SortedSource& source);

  // Holds at most `memory` bytes from now on, in the merge too.
  void SetMemory(std::size_t memory) { memory_ = memory; }
  std::size_t Memory() const { return memory_; }

  // Writes the rows held as a run and gives back their memory, so that a
  // set the merge feeds may have it: the merge then holds only what it
  // reads from each run.
  void Release();

  // Runs written so far, those that rounds of merging made not counted.
  std::size_t Runs() const { return runs_; }
  // How many rounds merged runs before the last merge, and the bytes
  // they wrote.
  std::size_t Rounds() const { return rounds_; }
  std::uint64_t RoundBytes() const { return roundBytes_; }

  // Hands `take` every row in order, each line once with its counts added:
  // the runs and the rows held, merged. Stops when `take` returns false and
  // returns whether every row was taken. Nothing may be added afterwards.
  bool Merge(const RowTaker& take);

  // The same in --count's order, of a set ByLine: the merged rows go
  // through a second set of runs ByCount of the same memory, dir and fan-in,
  // or are only sorted again when none was written.
  bool MergeInCountOrder(const RowTaker& take);

 private:
  struct Row {
    std::uint64_t Count;
    const char* Line;
    std::size_t Size;
  };
  // Sorts the rows held and, by line, adds up equal lines.
  void SortHeld();
  // Writes the rows held as a run and lets them go.
  void Spill();
  // Lets the rows go, keeping their room for the next.
  void ReleaseHeld();
  // A run of the set's own (Fd) or a source.
  struct Input {
    int Fd = -1;
    SortedSource* Source = nullptr;
  };
  // Merges `inputs` and the `held` rows into `take`.
  bool MergeInto(const std::vector<Input>& inputs, const std::vector<Row>& held,
                 const RowTaker& take);
  // Opens a run for writing; its descriptor.
  int NewRun();
  // Merges the smaller inputs into a run when no more may open.
  void MakeRoomForRun();

  RowOrder order_;
  std::size_t memory_;
  std::string dir_;
  std::size_t fanIn_;
  std::vector<Input> inputs_;
  std::size_t runs_ = 0;
  std::size_t rounds_ = 0;
  std::uint64_t roundBytes_ = 0;
  // The rows held, their lines in blocks of their own.
  std::vector<Row> held_;
  // Those in use, and those a run left, to fill again. heldBytes_ counts
  // both, and the rows' room.
  std::vector<PageArray<char>> blocks_;
  std::vector<PageArray<char>> spare_;
  char* next_ = nullptr;
  std::size_t blockLeft_ = 0;
  std::size_t heldBytes_ = 0;
};

#endif  // ANNOTATOR_SORTEDRUNS_H_
