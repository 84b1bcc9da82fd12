#include "corvel.hpp"

int main() {
  const int dataCount = 100000;
  compareBubbleSorts(dataCount);
  return 0;
}
