#ifndef ANNOTATOR_LEAFCOUNTER_H_
#define ANNOTATOR_LEAFCOUNTER_H_

// The position that follows `counter`. Leaf counters are ints owned by the
// caller and may start anywhere, INT_MAX included, so the step wraps to
// INT_MIN through unsigned arithmetic instead of overflowing.
inline int NextLeafPosition(int counter) {
  return static_cast<int>(static_cast<unsigned>(counter) + 1U);
}

#endif  // ANNOTATOR_LEAFCOUNTER_H_
