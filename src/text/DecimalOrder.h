#ifndef ANNOTATOR_DECIMALORDER_H_
#define ANNOTATOR_DECIMALORDER_H_

// Calls `visit(n)` for every n from 1 to `count` in the order in which their
// decimal texts sort as strings (1, 10, 100, 11, ..., 2, 20, ...): the order
// of texts that number things, such as x-side constraints, kept in a sorted
// set. Constant space, and time linear in `count`; nothing for a count below
// 1. Always inlined: a writer that `visit` stores through then stays in
// registers around the loop.
template <class Visit>
[[gnu::always_inline]] inline void ForEachInDecimalTextOrder(long long count,
                                                             Visit&& visit) {
  // Below 100, each digit d comes with d0 to d9 behind it: the order of most
  // counts, walked without a division.
  if (count < 100) {
    for (long long d = 1; d <= 9 && d <= count; ++d) {
      visit(d);
      for (long long n = d * 10; n < d * 10 + 10 && n <= count; ++n) visit(n);
    }
    return;
  }
  long long n = 1;
  for (long long visited = 0; visited < count; ++visited) {
    visit(n);
    // Appending a digit comes next in text order; when that is past the
    // count, step up a digit, first leaving the trailing 9s and numbers
    // past the count that no longer have a successor of their own length.
    if (n * 10 <= count) {
      n *= 10;
    } else {
      while (n % 10 == 9 || n + 1 > count) n /= 10;
      ++n;
    }
  }
}

#endif  // ANNOTATOR_DECIMALORDER_H_
