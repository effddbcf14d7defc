#include "platform/file_search.h"

#include "platform/code_page.h"

namespace platform {

bool MatchesMask(std::string_view name, std::string_view mask) {
  const std::u32string n = FoldedCodePoints(name);
  const std::u32string m = FoldedCodePoints(mask);
  // greedy match with one back-tracking point: the last "*" seen
  std::size_t i = 0, j = 0, star = std::u32string::npos, resume = 0;
  while (i < n.size()) {
    if (j < m.size() && (m[j] == U'?' || m[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < m.size() && m[j] == U'*') {
      star = j++;
      resume = i;
    } else if (star != std::u32string::npos) {
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  while (j < m.size() && m[j] == U'*') ++j;
  return j == m.size();
}

}  // namespace platform
