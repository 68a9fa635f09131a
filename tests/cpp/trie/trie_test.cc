#include "trie/trie.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "solver/anagram_solver.h"

namespace vorpalyx {
namespace {

constexpr std::uint64_t kEmptyMin = std::numeric_limits<std::uint64_t>::max();

// Every stored word, in the order of a depth-first walk over the links.
std::vector<std::string> stored_words(const Trie& trie) {
  std::vector<std::string> words;
  std::string prefix;
  auto walk = [&](auto& self, NodeIndex index) -> void {
    for (NodeIndex child = trie.node(index).first_child; child != kNoNode;
         child = trie.node(child).next_sibling) {
      prefix.push_back(trie.node(child).letter);
      if (trie.node(child).is_word) words.push_back(prefix);
      self(self, child);
      prefix.pop_back();
    }
  };
  walk(walk, Trie::kRoot);
  return words;
}

TEST(TrieTest, FreshTrieIsEmpty) {
  Trie trie;
  EXPECT_EQ(trie.min_dict_word_len(), kEmptyMin);
  EXPECT_EQ(trie.max_dict_word_len(), 0u);
  EXPECT_EQ(trie.node_count(), 1u);
  EXPECT_FALSE(trie.root().is_word);
}

TEST(TrieTest, TextsWithoutLettersChangeNothing) {
  Trie trie;
  for (const char* text : {"", "   ", "123", "--", "\xc3\xa9"}) {
    trie.insert(text);
  }
  EXPECT_EQ(trie.node_count(), 1u);
  EXPECT_EQ(trie.min_dict_word_len(), kEmptyMin);
  EXPECT_EQ(trie.max_dict_word_len(), 0u);
}

TEST(TrieTest, StoresNormalisedWordsOnce) {
  Trie trie;
  trie.insert("A");
  trie.insert("a");
  EXPECT_EQ(stored_words(trie), std::vector<std::string>{"a"});
  EXPECT_EQ(trie.min_dict_word_len(), 1u);
  EXPECT_EQ(trie.max_dict_word_len(), 1u);

  trie.insert("Hello, World!");
  EXPECT_TRUE(trie.contains("helloworld"));
  EXPECT_EQ(trie.max_dict_word_len(), 10u);
  const std::size_t nodes = trie.node_count();
  trie.insert("HELLO world");
  EXPECT_EQ(trie.node_count(), nodes);
}

TEST(TrieTest, PrefixesAndExtensionsAreBothWords) {
  Trie trie;
  trie.insert("cats");
  trie.insert("cat");
  EXPECT_TRUE(trie.contains("cat"));
  EXPECT_TRUE(trie.contains("cats"));
  EXPECT_FALSE(trie.contains("ca"));
  EXPECT_EQ(trie.min_dict_word_len(), 3u);
  EXPECT_EQ(trie.max_dict_word_len(), 4u);
  EXPECT_EQ(trie.node_count(), 5u);
}

TEST(TrieTest, ChildrenAreVisitedInLetterOrder) {
  Trie trie;
  for (const char* word : {"zoo", "ant", "mole", "an", "bee", "am", "zebra"}) {
    trie.insert(word);
  }
  EXPECT_EQ(stored_words(trie),
            (std::vector<std::string>{"am", "an", "ant", "bee", "mole", "zebra",
                                      "zoo"}));
}

TEST(TrieTest, EveryLeafIsAWord) {
  Trie trie;
  for (const char* word : {"tea", "team", "ten", "i", "in", "inn"}) {
    trie.insert(word);
  }
  for (std::size_t i = 1; i < trie.node_count(); ++i) {
    const TrieNode& node = trie.node(static_cast<NodeIndex>(i));
    if (node.first_child == kNoNode) {
      EXPECT_TRUE(node.is_word) << i;
    }
  }
}

struct LineSplitCase {
  const char* name;
  std::string text;
  std::vector<std::string> words;
};

class LoadDictionaryFromTextTest
    : public testing::TestWithParam<LineSplitCase> {};

TEST_P(LoadDictionaryFromTextTest, SplitsLines) {
  AnagramSolver solver;
  solver.load_dictionary_from_text(GetParam().text);
  EXPECT_EQ(stored_words(solver.trie()), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadDictionaryFromTextTest,
    testing::Values(
        LineSplitCase{"Mixed", "cat\r\ndog\n\nbird", {"bird", "cat", "dog"}},
        LineSplitCase{"TrailingNewline", "cat\n", {"cat"}},
        LineSplitCase{"Empty", "", {}},
        LineSplitCase{"OnlyNewlines", "\n\r\n\n", {}},
        LineSplitCase{"LoneCarriageReturnStays", "ab\rcd\n", {"abcd"}},
        LineSplitCase{"WholeLineIsOneWord", "ice cream\n", {"icecream"}},
        LineSplitCase{"ByteOrderMark",
                      "\xef\xbb\xbf"
                      "apple\npear",
                      {"apple", "pear"}}),
    [](const testing::TestParamInfo<LineSplitCase>& info) {
      return info.param.name;
    });

TEST(LoadDictionaryFromTextTest, LoadingTwiceIsIdempotent) {
  AnagramSolver solver;
  solver.load_dictionary_from_text("one\ntwo\nthree\n");
  const std::size_t nodes = solver.trie().node_count();
  solver.load_dictionary_from_text("one\ntwo\nthree\n");
  EXPECT_EQ(solver.trie().node_count(), nodes);
  solver.load_dictionary_from_text("four");
  EXPECT_EQ(stored_words(solver.trie()),
            (std::vector<std::string>{"four", "one", "three", "two"}));
}

}  // namespace
}  // namespace vorpalyx
