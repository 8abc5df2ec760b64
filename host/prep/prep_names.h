// Names as the naming steps make them: a template of fields ("{name}_{n:3}"), shell wildcards,
// and names kept unique among the items they must differ from. Shared by rename, shorten and
// the materials step's --rename (their code in name_steps.cpp).
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vlm::host {

class PrepArgs;

// A name template read once and filled in for each item: `{name}` the old name, `{n}` the
// item's counter (`{n:3}` zero-padded to 3 digits), `{1}`..`{9}` a regular expression's
// groups, `{{` and `}}` a brace itself.
class NameTemplate {
 public:
  // Reads the template of option `option`; `groups` is how many groups the expression it
  // fills has (-1 when there is no expression: then `{1}` is refused as well). A field it does
  // not know, a brace left open or a lone "}" is PrepBadValue naming the option.
  NameTemplate(const PrepArgs& args, std::string_view option, int groups);

  // The name for an item of this old name, counter and groups (groups[0] the whole match).
  std::string Fill(const std::string& name, long long n,
                   const std::vector<std::string>& groups = {}) const;
  // Whether the template uses the counter (then a name it makes differs from item to item).
  bool Counts() const { return counts_; }

 private:
  struct Part {
    enum Kind { Text, Name, Counter, Group } kind;
    std::string text;  // Text
    int number = 0;    // Counter: the width; Group: the group's number
  };
  std::vector<Part> parts_;
  bool counts_ = false;
};

// Whether a name fits a shell wildcard pattern as the selections read them ("*", "?",
// "[...]"; "\*" a "*"), the name itself counting as a fit.
bool FitsWildcard(const std::string& name, const std::string& pattern);

// `wanted` if no name in `taken` is it, else `wanted` + "_2", "_3", ...: the first free one.
std::string FreeName(const std::string& wanted, const std::set<std::string>& taken);

// A name quoted for the transcript: whole, or its start and "..." past 40 characters.
std::string Quoted(const std::string& name);

}  // namespace vlm::host
