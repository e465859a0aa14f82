// drat-check FORMULA PROOF: replays a DRAT proof (binary or text) against a
// DIMACS formula. Prints "s VERIFIED" and exits 0, or "s NOT VERIFIED" with
// the reason and exits 1. Used by the differential tester.
#include <iostream>

#include "support/drat_checker.hpp"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::cerr << "usage: drat-check FORMULA PROOF" << std::endl;
    return 2;
  }
  quelt_test::DratChecker checker;
  const auto result = checker.checkFiles(argv[1], argv[2]);
  if (result == quelt_test::DratChecker::Result::Verified) {
    std::cout << "s VERIFIED" << std::endl;
    return 0;
  }
  if (result == quelt_test::DratChecker::Result::NoEmptyClause)
    std::cout << "c the proof does not derive the empty clause" << std::endl;
  else {
    std::cout << "c lemma " << checker.lemmaCount() << " is neither RUP nor RAT:";
    for (int l : checker.failed()) std::cout << ' ' << l;
    std::cout << std::endl;
  }
  std::cout << "s NOT VERIFIED" << std::endl;
  return 1;
}
