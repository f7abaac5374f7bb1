// brenvikctl: drive, watch, record and plot the brenvik_robot controller from a terminal.

#include <iostream>

#include "brenvikctl/brenvikctl.h"

int main(int argc, char** argv) {
  // Every line goes out at once, also into a pipe: a caller waits for "goal accepted" before it
  // may cancel.
  std::cout.setf(std::ios::unitbuf);
  return brenvikctl::Brenvikctl::run(argc, argv, std::cout, std::cerr);
}
