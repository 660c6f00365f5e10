// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace orbicrop::night {

// The night page's look, inside the page: system fonts, a grid of cards as
// wide as the window lets (one column on a phone), nothing fetched.
inline constexpr std::string_view kNightPageStyle = R"(
body { margin: 0; padding: 16px; background: #eceff3; color: #1c2330; line-height: 1.4;
       font-family: system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "DejaVu Sans", sans-serif; }
h1 { font-size: 1.6rem; margin: 0 0 4px; overflow-wrap: anywhere; }
h2 { font-size: 1.05rem; margin: 0 0 4px; overflow-wrap: anywhere; }
.night { background: #fff; border-radius: 10px; padding: 14px 18px; margin-bottom: 16px;
         box-shadow: 0 1px 3px rgba(0, 0, 0, .12); }
.span { margin: 0 0 10px; color: #556; }
.tiles { display: grid; grid-template-columns: repeat(auto-fit, minmax(8.5em, 1fr)); gap: 8px; margin-bottom: 10px; }
.tile { background: #f3f5f8; border-radius: 8px; padding: 6px 12px; }
.tile b { display: block; font-size: 1.35rem; font-variant-numeric: tabular-nums; }
.tile span { color: #556; font-size: .9rem; }
.tile.bad { background: #fde7e7; color: #a11; }
.tile.warn { background: #fff1dc; }
.equation { display: flex; flex-wrap: wrap; align-items: baseline; gap: 4px 8px; margin: 8px 0; }
.equation .term { white-space: nowrap; }
.equation b { font-variant-numeric: tabular-nums; }
.equation.totals { font-size: 1.15rem; }
.equation.totals .term { background: #f3f5f8; border-radius: 6px; padding: 2px 8px; }
.equation .op { color: #778; font-weight: bold; }
.unaccounted { color: #a11; }
#failures { margin: 4px 0 0; padding-left: 1.2em; }
#failures a { color: #a11; font-weight: 600; }
.cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(min(100%, 420px), 1fr)); gap: 16px;
         align-items: start; }
.card { background: #fff; border: 2px solid #d4d9e1; border-radius: 10px; padding: 12px; min-width: 0; }
.card.failed { border-color: #d32f2f; box-shadow: 0 0 0 2px rgba(211, 47, 47, .25); }
.card.stopped { border-color: #ef8f00; }
.card.skipped { background: #f7f8fa; }
.top { display: flex; flex-wrap: wrap; gap: 12px; align-items: flex-start; }
.thumb { flex: none; background: #000; border-radius: 6px; overflow: hidden; line-height: 0; }
.thumb img { display: block; max-width: min(200px, 100%); max-height: 200px; }
.thumb.none { width: 120px; height: 120px; display: flex; align-items: center; justify-content: center;
              color: #889; background: #f0f2f5; line-height: 1.2; font-size: .9rem; }
.facts { flex: 1 1 160px; min-width: 0; }
.status { margin: 0 0 6px; overflow-wrap: anywhere; }
.status span { display: inline-block; padding: 0 8px; border-radius: 10px; font-size: .85rem; font-weight: 600;
               background: #e2f2e5; color: #1b5e20; }
.status.failed span { background: #d32f2f; color: #fff; }
.status.stopped span { background: #ef8f00; color: #fff; }
.status.skipped span { background: #dde1e7; color: #334; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 2px 10px; margin: 0; font-size: .92rem; }
dt { color: #667; }
.nb { white-space: nowrap; }
dd { margin: 0; min-width: 0; overflow-wrap: anywhere; }
details ul { margin: 2px 0; padding-left: 1.1em; }
.card .equation { font-size: .92rem; }
img.plot { display: block; width: 100%; max-width: 100%; height: auto; margin-top: 8px; border-radius: 4px; }
.outputs { margin: 8px 0 0; padding-left: 1.2em; font-size: .92rem; }
.outputs a { overflow-wrap: anywhere; }
@media (max-width: 480px) {
  body { padding: 8px; }
  .night { padding: 12px; }
  .tiles { grid-template-columns: repeat(auto-fit, minmax(6.5em, 1fr)); gap: 6px; }
  .tile { padding: 4px 8px; }
  .tile b { font-size: 1.1rem; }
  .tile span { font-size: .8rem; }
  .equation.totals { font-size: 1rem; }
}
)";

}   // namespace orbicrop::night
