#include "core/AsgnStack.hpp"

#include <algorithm>
#include <ostream>

namespace quelt::util {

void AsgnStack::clear() {
  lits.clear();
  levelStarts.clear();
  levelStarts.push_back(0);
  propagationHead = 0;
}

void AsgnStack::sort() { std::sort(lits.begin(), lits.end()); }

void AsgnStack::dump(std::ostream& os) const {
  for (Literal l : lits) os << l << " 0\n";
}

}  // namespace quelt::util
