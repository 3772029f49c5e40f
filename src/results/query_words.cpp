#include "results/query_words.h"

#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {

void ForEachWord(std::string_view text, const std::function<void(std::string_view)>& onWord) {
  std::string trimmed = Trimmed(text);
  std::string word;
  std::size_t pos = 0;
  for (;;) {
    // Tested by emptiness: a word may begin with a zero byte.
    NextToken(word, kWordMax + 1, trimmed, pos, kWordDelimiters);
    if (word.empty()) break;
    onWord(word);
  }
}

std::string QueryWords(std::string_view text) {
  std::string joined;
  ForEachWord(text, [&](std::string_view word) {
    StrAppendN(joined, word, kQueryWordsMax + 1);
    StrAppendN(joined, " ", kQueryWordsMax + 1);
  });
  return Trimmed(joined);
}

}  // namespace sondrel
