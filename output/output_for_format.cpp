// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/output_for_format.h"

#include "output/avi_output.h"
#include "output/sequence_output.h"
#include "output/ser_output.h"

std::unique_ptr<BatchOutput> MakeOutputFor(OutputFormat format, bool winJuposName, const std::string& creator,
                                           TAviWriter* aviWriter)
{
    if (format == OutputFormat::Ser)
        return std::make_unique<SerOutput>(winJuposName);
    if (IsStillSequence(format))
        return std::make_unique<SequenceOutput>(format, creator);
    if (aviWriter != nullptr)
        return std::make_unique<AviOutput>(*aviWriter);
    return std::make_unique<AviOutput>();
}
