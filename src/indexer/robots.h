// A site's robots.txt: which of its pages the program may fetch. Both page loaders ask before
// they load a page.
//
// RobotsRules reads the file for one agent name: the groups whose User-agent names the agent
// (its product token, compared without regard to case) apply; when there are none, the groups
// for "*"; when there are none either, everything is allowed. Of the Allow and Disallow rules
// of the applying groups, the one with the longest pattern that matches the address's path and
// query decides, Allow when an Allow and a Disallow are equally long; no matching rule allows.
// Patterns match from the start of the path; "*" stands for any run of characters and a "$"
// at the end anchors the pattern at the end of the path. Paths and patterns are compared with
// percent-encoding made uniform (escapes of unreserved characters undone, hex digits in upper
// case, other non-ASCII bytes escaped). Only the first 500 KiB of a file are read.
//
// RobotsCache fetches each origin's robots.txt once, through the caller's fetcher, and keeps
// the rules for the life of the cache: an answer 2xx gives the file's rules; 4xx (no file, or
// not for us) allows everything; 5xx disallows everything, as the site is not answering
// properly; no answer at all allows, so that the page's own fetch reports the failure.
// The fetcher is the caller's and must outlive the cache.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "net/multi_fetcher.h"

namespace vellumark {

// The agent name the program gives robots.txt files.
inline constexpr std::string_view kRobotsAgent = "Vellumark";

class RobotsRules final {
 public:
  // Allows everything.
  RobotsRules() = default;
  static RobotsRules DisallowAll();
  static RobotsRules Parse(std::string_view text, std::string_view agent);

  // `path` is the path and query of an address as written in it ("/a/b.html?x=1").
  bool Allowed(std::string_view path) const;

 private:
  struct Rule {
    std::string pattern;  // encoding made uniform; a "$" at the end anchors it
    bool allow = false;
  };
  std::vector<Rule> rules_;
};

class RobotsCache final {
 public:
  enum class Verdict { kAllowed, kDisallowed, kPending };

  RobotsCache(MultiFetcher& fetcher, std::string agent = std::string(kRobotsAgent));
  RobotsCache(const RobotsCache&) = delete;
  RobotsCache& operator=(const RobotsCache&) = delete;

  // The verdict for the address `url`; when its origin's rules are not known yet, starts
  // fetching them (once) and answers kPending.
  Verdict Check(const std::string& url);
  // Takes in the robots.txt fetches that have ended. Call after the fetcher has been pumped.
  void Update();
  // Forgets the fetches in flight (after the fetcher cancelled them); known rules stay.
  void ForgetPending() { pending_.clear(); }

 private:
  MultiFetcher& fetcher_;
  std::string agent_;
  std::map<std::string, RobotsRules> rules_;         // by origin ("http://host:port")
  std::map<std::string, MultiFetcher::Id> pending_;  // robots.txt fetches in flight, by origin
};

}  // namespace vellumark
