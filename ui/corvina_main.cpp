#include <cstdio>

int main() {
  std::puts("Corvina");
  return 0;
}
