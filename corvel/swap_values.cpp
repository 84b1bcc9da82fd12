#include "corvel.hpp"

void swapValues(int* x, int* y) {
  const int value = *x;
  *x = *y;
  *y = value;
}
