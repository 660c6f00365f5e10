#pragma once

#include <cstdint>
#include <functional>
#include <span>

// Decodes frames on a worker thread while the calling thread hands the
// previous ones on.
//
// decode(i, slot) runs on the worker for i = 0 .. count - 1, in order, each
// into slot i % slots.size(); deliver(i, slot) runs on the calling thread, in
// order, after decode(i) has finished. A slot is decoded into again only
// after its previous delivery has returned, so the worker is never more than
// slots.size() frames ahead and deliver may write into its slot.
//
// Returns once every frame has been delivered and the worker has ended. When
// decode(i) throws, frames 0 .. i - 1 are still delivered and the exception
// is then rethrown here; when deliver throws, the worker is stopped, waited
// for, and the exception passes through. Nothing runs after it returns.
void DecodeAhead(std::int64_t count, std::span<std::uint8_t* const> slots,
                 const std::function<void(std::int64_t, std::uint8_t*)>& decode,
                 const std::function<void(std::int64_t, std::uint8_t*)>& deliver);
