// Fuzzes AnagramSolver::load_dictionary_from_text and the trie it fills.
//
// The text is split into lines here independently ('\n' ends a line, a '\r'
// right before it goes too, a last line without '\n' counts when not empty)
// and each line normalised; the trie must then hold exactly those words, and
// its shape must keep its invariants: children in strictly ascending letter
// order a..z, every leaf a word, the root never a word, every node reachable
// exactly once, and the shortest and longest word lengths right. Loading the
// same text again must change nothing.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/normalize.h"
#include "fuzz_check.h"
#include "solver/anagram_solver.h"
#include "trie/trie.h"

namespace {

using vorpalyx::NodeIndex;
using vorpalyx::Trie;

std::set<std::string> expected_words(std::string_view text) {
  std::set<std::string> words;
  std::string line;
  auto finish_line = [&] {
    const std::string word = vorpalyx::normalize_word(line);
    if (!word.empty()) words.insert(word);
    line.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') {
      line.push_back(text[i]);
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    finish_line();
  }
  if (!line.empty()) finish_line();
  return words;
}

struct TrieWalk {
  std::set<std::string> words;
  std::size_t nodes_seen = 1;  // the root
};

void walk(const Trie& trie, NodeIndex index, std::string& prefix,
          TrieWalk& seen) {
  const vorpalyx::TrieNode& node = trie.node(index);
  if (index != Trie::kRoot) {
    FUZZ_CHECK(node.first_child != vorpalyx::kNoNode || node.is_word);
    if (node.is_word) seen.words.insert(prefix);
  }
  char previous_letter = 0;
  for (NodeIndex child = node.first_child; child != vorpalyx::kNoNode;
       child = trie.node(child).next_sibling) {
    FUZZ_CHECK(child < trie.node_count());
    FUZZ_CHECK(++seen.nodes_seen <= trie.node_count());
    const char letter = trie.node(child).letter;
    FUZZ_CHECK(letter >= 'a' && letter <= 'z');
    FUZZ_CHECK(letter > previous_letter);
    previous_letter = letter;
    prefix.push_back(letter);
    walk(trie, child, prefix, seen);
    prefix.pop_back();
  }
}

void check_trie(const Trie& trie, const std::set<std::string>& words) {
  FUZZ_CHECK(!trie.root().is_word);
  TrieWalk seen;
  std::string prefix;
  walk(trie, Trie::kRoot, prefix, seen);
  FUZZ_CHECK(seen.nodes_seen == trie.node_count());
  FUZZ_CHECK(seen.words == words);

  std::uint64_t shortest = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t longest = 0;
  for (const std::string& word : words) {
    shortest = std::min<std::uint64_t>(shortest, word.size());
    longest = std::max<std::uint64_t>(longest, word.size());
    FUZZ_CHECK(trie.contains(word));
    FUZZ_CHECK(words.contains(word + "q") == trie.contains(word + "q"));
    FUZZ_CHECK(words.contains(word.substr(1)) == trie.contains(word.substr(1)));
  }
  FUZZ_CHECK(trie.min_dict_word_len() == shortest);
  FUZZ_CHECK(trie.max_dict_word_len() == longest);
  FUZZ_CHECK(!trie.contains(""));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::set<std::string> words = expected_words(text);

  vorpalyx::AnagramSolver solver;
  solver.load_dictionary_from_text(text);
  check_trie(solver.trie(), words);

  const std::size_t node_count = solver.trie().node_count();
  solver.load_dictionary_from_text(text);
  FUZZ_CHECK(solver.trie().node_count() == node_count);
  check_trie(solver.trie(), words);
  return 0;
}
