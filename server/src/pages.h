// The HTML pages the client's browser panels show. Every page is complete
// in itself: styles and scripts inline, no fonts, images or other requests.
#pragma once

#include <string>
#include <string_view>

namespace tsrv {

struct Catalogue;
class MediaFolder;
struct EpisodePageQuery;

std::string html_escape(std::string_view text);

// The library side bar (about 470 px wide). A non-empty follow link makes
// the page open that link by itself once loaded.
std::string library_page(const Catalogue& catalogue, std::string_view follow_link = {});
// The second library panel: what is popular. Its panel has no link
// handler, so everything works in the page: a series opens a detail view,
// an episode plays in the page's own video element.
std::string hot_page(const Catalogue& catalogue, const MediaFolder& media);
// The TV panel, full window width: a player that plays the channels in
// the page, beside the list of channels. No link handler either.
std::string tv_page(const Catalogue& catalogue, const MediaFolder& media);
// The episode list of one series (about 350 px wide). found is false when
// the query names no series of the catalogue; the page then says so.
std::string episode_page(const Catalogue& catalogue, const EpisodePageQuery& query, bool& found);
// play.htm: a video element that plays the address in the query.
std::string player_page();
// js/ads/<which>.html for "qvodad", "fudong" and "tui" (300×250). Their
// panels have no link handler: the buttons play a preview in the card; the
// brand opens the hot page in a window of its own.
std::string ad_page(std::string_view which, const Catalogue& catalogue, const MediaFolder& media);
// The player suite's home page, which the client offers when the player is missing.
std::string suite_page();
// A short page for an error status.
std::string error_page(int status, std::string_view message);

}  // namespace tsrv
