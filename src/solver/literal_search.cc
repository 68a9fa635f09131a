#include "solver/literal_search.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>

namespace vorpalyx {
namespace {

struct SolutionHash {
  std::size_t operator()(const Solution& solution) const {
    std::size_t hash = solution.size();
    for (const std::string& word : solution) {
      hash = hash * 1000003u ^ std::hash<std::string>{}(word);
    }
    return hash;
  }
};

struct MaskChange {
  std::size_t index;
  bool previous;
};

// One activation of backtrack or of find_one_word_recursive. A frame is
// resumed after the call it made returns; `resume` says where.
struct Frame {
  enum class Kind : std::uint8_t { kBacktrack, kWord };
  enum class Resume : std::uint8_t {
    kStart,
    kAfterBacktrack,  // a word frame whose candidate word was searched below
    kAfterChild,      // a word frame whose child `child` was walked
    kAfterExtend,     // a backtrack frame whose word enumeration finished
  };
  Kind kind;
  Resume resume;
  NodeIndex node;
  NodeIndex child;
  std::size_t mask_changes_begin;
};

class LiteralSearch {
 public:
  LiteralSearch(const Trie& trie, const CharCounts& phrase_counts,
                const SolverConstraints& constraints, SearchState& state,
                TraceLog* log)
      : trie_(trie),
        remaining_(phrase_counts),
        constraints_(constraints),
        state_(state),
        log_(log) {}

  std::vector<Solution> run() {
    stack_.push_back({Frame::Kind::kBacktrack, Frame::Resume::kStart,
                      Trie::kRoot, kNoNode, 0});
    while (!stack_.empty()) {
      const Frame frame = stack_.back();
      switch (frame.resume) {
        case Frame::Resume::kStart:
          if (frame.kind == Frame::Kind::kBacktrack) {
            backtrack_start();
          } else {
            word_start(frame.node);
          }
          break;
        case Frame::Resume::kAfterExtend:
          word_starts_.pop_back();
          if (log_) log_->line("BACKTRACK EXIT: path=", path_, "\n");
          stack_.pop_back();
          break;
        case Frame::Resume::kAfterBacktrack:
          word_after_backtrack(frame);
          break;
        case Frame::Resume::kAfterChild:
          word_after_child(frame);
          break;
      }
    }
    return {std::make_move_iterator(solutions_.begin()),
            std::make_move_iterator(solutions_.end())};
  }

 private:
  bool stop_requested() const {
    return state_.timed_out ||
           (constraints_.max_solutions &&
            state_.solutions_found >= *constraints_.max_solutions);
  }

  void call_backtrack() {
    stack_.push_back({Frame::Kind::kBacktrack, Frame::Resume::kStart,
                      Trie::kRoot, kNoNode, 0});
  }

  void call_word(NodeIndex node) {
    stack_.push_back(
        {Frame::Kind::kWord, Frame::Resume::kStart, node, kNoNode, 0});
  }

  std::string_view word_so_far() const {
    return std::string_view(letters_).substr(word_starts_.back());
  }

  // backtrack, up to its one call of find_one_word_recursive.
  void backtrack_start() {
    if (extend_is_due()) {
      stack_.back().resume = Frame::Resume::kAfterExtend;
      word_starts_.push_back(letters_.size());
      call_word(Trie::kRoot);
    } else {
      stack_.pop_back();
    }
  }

  bool extend_is_due() {
    const std::uint64_t total = remaining_.total();
    if (log_) {
      log_->line("BACKTRACK ENTRY: path=", path_, ", remaining_total=", total,
                 ", timed_out=", state_.timed_out,
                 ", solutions_found=", state_.solutions_found, "\n");
      if (state_.pattern_mask) {
        log_->line("  Mask: ", *state_.pattern_mask, "\n");
      }
    }

    if (constraints_.timeout_seconds) {
      const std::chrono::duration<double> elapsed =
          std::chrono::steady_clock::now() - state_.start_time;
      if (elapsed.count() > *constraints_.timeout_seconds) {
        state_.timed_out = true;
        if (log_) {
          log_->line("  Pruned: Timeout triggered NOW. Path: ", path_, "\n");
        }
        return false;
      }
    }

    if (constraints_.max_solutions &&
        state_.solutions_found >= *constraints_.max_solutions) {
      if (log_) {
        log_->line("  Pruned: Max solutions reached. Path: ", path_, "\n");
      }
      return false;
    }

    if (state_.pattern_mask && !constraints_.contains_patterns->empty()) {
      const std::vector<ProcessedPattern>& patterns =
          *constraints_.contains_patterns;
      const std::vector<bool>& mask = *state_.pattern_mask;
      std::uint64_t open_patterns = 0;
      for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (mask[i]) continue;
        if (!remaining_.can_subtract(patterns[i].counts)) {
          if (log_) {
            log_->line("  Pruned PATTERN: Cannot form pattern '",
                       patterns[i].text, "' (idx ", std::uint64_t{i},
                       "). Path: ", path_, "\n");
          }
          return false;
        }
        ++open_patterns;
      }
      if (open_patterns > 0 && constraints_.max_words &&
          path_.size() >= *constraints_.max_words) {
        if (log_) {
          log_->line(
              "  Pruned PATTERN: Unsatisfied patterns but max_words reached. "
              "Path: ",
              path_, "\n");
        }
        return false;
      }
    }

    if (log_) {
      log_->line("  Pre-base-case: path=", path_, ", remaining_total=", total,
                 "\n");
    }
    if (remaining_.is_empty()) {
      record_solution();
      return false;
    }

    if (log_) {
      log_->line("  Did not hit base case (remaining_counts_total = ", total,
                 "). Path: ", path_, "\n");
    }
    if (total < trie_.min_dict_word_len()) {
      if (log_) {
        log_->line("  Pruned: remaining_total ", total, " < min_dict_word_len ",
                   trie_.min_dict_word_len(), ". Path: ", path_, "\n");
      }
      return false;
    }
    if (constraints_.min_word_length && !path_.empty() &&
        total < *constraints_.min_word_length) {
      if (log_) {
        log_->line("  Pruned: remaining_total ", total, " < min_word_len ",
                   *constraints_.min_word_length, ". Path: ", path_, "\n");
      }
      return false;
    }
    if (constraints_.max_words && path_.size() == *constraints_.max_words) {
      if (log_) {
        log_->line("  Pruned: Path len ", std::uint64_t{path_.size()},
                   " == max_words ", *constraints_.max_words,
                   " but letters remain. Path: ", path_, "\n");
      }
      return false;
    }
    if (log_) {
      log_->line("  Calling find_one_word_recursive for path: ", path_, "\n");
    }
    return true;
  }

  // The base case of backtrack: no letters remain.
  void record_solution() {
    if (log_) {
      log_->line("  REACHED BASE CASE (remaining_counts is empty). Path: ",
                 path_, "\n");
      log_->line("    Current path is not empty: ", path_, "\n");
    }

    if (constraints_.must_start_with) {
      std::array<std::uint64_t, kAlphabetSize> starts{};
      for (const std::string& word : path_) ++starts[word[0] - 'a'];
      for (const auto& [letter, needed] : *constraints_.must_start_with) {
        const int index = letter_index(letter);
        const std::uint64_t found = index >= 0 ? starts[index] : 0;
        if (found < needed) {
          if (log_) {
            log_->line("    PRUNED BASE CASE: must_start_with: char '", letter,
                       "' needed ", needed, " times, found ", found,
                       " times. Path: ", path_, "\n");
          }
          return;
        }
      }
      if (log_) {
        log_->line("    must_start_with constraint SATISFIED. Path: ", path_,
                   "\n");
      }
    } else if (log_) {
      log_->line("    No must_start_with constraint active. Path: ", path_,
                 "\n");
    }

    if (log_) {
      if (state_.pattern_mask) {
        log_->line("    Patterns satisfied (or no pattern constraint). Mask: ",
                   *state_.pattern_mask, ". Path: ", path_, "\n");
      } else {
        log_->line("    No pattern constraint active in base case. Path: ",
                   path_, "\n");
      }
    }

    Solution solution = path_;
    std::sort(solution.begin(), solution.end());
    if (log_) {
      log_->line("    Attempting to insert solution: ", solution, "\n");
    }
    if (!solutions_.insert(std::move(solution)).second) {
      if (log_) {
        log_->line("    Solution DUPLICATE. Path: ", path_, "\n");
        log_->line("  Returning from BASE CASE. Path: ", path_, "\n");
      }
      return;
    }
    ++state_.solutions_found;
    if (log_) {
      log_->line("    Solution ADDED. New count: ", state_.solutions_found,
                 ". Set size: ", std::uint64_t{solutions_.size()},
                 ". Path: ", path_, "\n");
    }
    if (constraints_.max_solutions &&
        state_.solutions_found >= *constraints_.max_solutions) {
      if (log_) {
        log_->line("    Max solutions reached after adding. Path: ", path_,
                   "\n");
      }
      return;
    }
    if (log_) log_->line("  Returning from BASE CASE. Path: ", path_, "\n");
  }

  // find_one_word_recursive on entry: the candidate word, if the node ends
  // one, then the children.
  void word_start(NodeIndex node_index) {
    const TrieNode& node = trie_.node(node_index);
    if (log_) {
      log_->line("  FOWR ENTRY: word_so_far='", word_so_far(),
                 "', path=", path_,
                 ", current_overall_counts_total=", remaining_.total(),
                 ", node_is_word=", node.is_word, "\n");
    }
    if (node.is_word && !word_so_far().empty() && try_candidate()) return;
    walk_children_from_first(node_index);
  }

  // Returns true when the candidate was pushed onto the path and a backtrack
  // call is now due.
  bool try_candidate() {
    if (log_) {
      log_->line("    FOWR: Found candidate word: '", word_so_far(),
                 "'. Path before push: ", path_, "\n");
    }
    const std::uint64_t length = word_so_far().size();
    if (constraints_.min_word_length &&
        length < *constraints_.min_word_length) {
      if (log_) {
        log_->line("      FOWR: '", word_so_far(), "' FAILED min_length (len ",
                   length, "). Path: ", path_, "\n");
      }
      return false;
    }
    if (log_) {
      log_->line("      FOWR: '", word_so_far(), "' passes min_length (len ",
                 length, "). Path: ", path_, "\n");
    }

    const std::size_t mask_changes_begin = mask_changes_.size();
    if (constraints_.contains_patterns) {
      std::vector<bool>& mask = *state_.pattern_mask;
      if (log_) {
        log_->line("      FOWR: Checking patterns. Word: '", word_so_far(),
                   "'. Mask before: ", mask, "\n");
      }
      const std::vector<ProcessedPattern>& patterns =
          *constraints_.contains_patterns;
      for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (mask[i]) continue;
        if (word_so_far().find(patterns[i].text) == std::string_view::npos)
          continue;
        mask_changes_.push_back({i, mask[i]});
        mask[i] = true;
        if (log_) {
          log_->line("        FOWR: Pattern '", patterns[i].text, "' (idx ",
                     std::uint64_t{i}, ") satisfied by '", word_so_far(),
                     "'. Mask now: ", mask, "\n");
        }
      }
    }

    path_.emplace_back(word_so_far());
    if (log_) {
      log_->line("      FOWR: Pushed '", word_so_far(),
                 "'. Path is now: ", path_,
                 ". Calling backtrack with remaining_counts_total: ",
                 remaining_.total(), "\n");
    }
    stack_.back().resume = Frame::Resume::kAfterBacktrack;
    stack_.back().mask_changes_begin = mask_changes_begin;
    call_backtrack();
    return true;
  }

  void word_after_backtrack(const Frame& frame) {
    path_.pop_back();
    if (log_) {
      log_->line("      FOWR: Popped '", word_so_far(),
                 "'. Path is now: ", path_, "\n");
    }
    if (state_.pattern_mask) {
      std::vector<bool>& mask = *state_.pattern_mask;
      const bool changed = mask_changes_.size() > frame.mask_changes_begin;
      if (changed && log_) {
        log_->line("      FOWR: Reverting mask changes for word '",
                   word_so_far(), "'. Mask before revert: ", mask, "\n");
      }
      for (std::size_t k = frame.mask_changes_begin; k < mask_changes_.size();
           ++k) {
        mask[mask_changes_[k].index] = mask_changes_[k].previous;
      }
      mask_changes_.resize(frame.mask_changes_begin);
      if (changed && log_) {
        log_->line("      FOWR: Mask after revert: ", mask, "\n");
      }
    }
    if (stop_requested()) {
      stack_.pop_back();
      return;
    }
    walk_children_from_first(frame.node);
  }

  void word_after_child(const Frame& frame) {
    const TrieNode& child = trie_.node(frame.child);
    letters_.pop_back();
    ++remaining_[child.letter - 'a'];
    if (stop_requested()) {
      stack_.pop_back();
      return;
    }
    walk_children(child.next_sibling);
  }

  void walk_children_from_first(NodeIndex node_index) {
    if (word_so_far().size() >= trie_.max_dict_word_len()) {
      stack_.pop_back();
      return;
    }
    walk_children(trie_.node(node_index).first_child);
  }

  // Enters the first child from `child` on that the letters and the start
  // constraints allow; with none left, the walk of this node ends.
  void walk_children(NodeIndex child) {
    for (; child != kNoNode; child = trie_.node(child).next_sibling) {
      const char letter = trie_.node(child).letter;
      const int index = letter - 'a';
      if (remaining_[index] == 0) continue;
      if (word_so_far().empty() &&
          !constraints_.allows_start(static_cast<char32_t>(letter))) {
        continue;
      }
      --remaining_[index];
      letters_.push_back(letter);
      stack_.back().resume = Frame::Resume::kAfterChild;
      stack_.back().child = child;
      call_word(child);
      return;
    }
    if (log_) {
      log_->line("  FOWR EXIT: word_so_far='", word_so_far(), "'\n");
    }
    stack_.pop_back();
  }

  const Trie& trie_;
  CharCounts remaining_;
  const SolverConstraints& constraints_;
  SearchState& state_;
  TraceLog* log_;
  std::vector<std::string> path_;
  // The letters of every word being spelled, one per level of backtrack;
  // the innermost level's word starts at word_starts_.back().
  std::string letters_;
  std::vector<std::size_t> word_starts_;
  std::vector<MaskChange> mask_changes_;
  std::unordered_set<Solution, SolutionHash> solutions_;
  std::vector<Frame> stack_;
};

}  // namespace

std::vector<Solution> run_literal_search(const Trie& trie,
                                         const CharCounts& phrase_counts,
                                         const SolverConstraints& constraints,
                                         SearchState& state, TraceLog* log) {
  return LiteralSearch(trie, phrase_counts, constraints, state, log).run();
}

}  // namespace vorpalyx
