// Buffers and multi-key walks of 37 blocks and a tail, long enough to fill every
// back end's blocks in flight and leave some over, answered by the stored vectors
// alone, so that the cross builds, which have no oracle library, check them too.
// Block b of a walk over the rows first .. first + n - 1 is one of the stored blocks
// of row first + b % n.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

typedef PathTest StoredWalks;

TEST_P(StoredWalks, BuffersAndMultiKeyWalks) {
    const auto rows = ReadVectorFile("rijndael_ecb.txt");
    auto append = [](Bytes& to, const std::string& hex) {
        const Bytes bytes = FromHex(hex);
        to.insert(to.end(), bytes.begin(), bytes.end());
    };
    // Rows 0, 3 and 6 have 16-, 24- and 32-byte keys; rows 0-2 all have 16.
    const std::pair<unsigned, unsigned> walks[] = {{0, 1}, {3, 1}, {6, 1}, {0, 2}, {0, 3}};
    for (auto [first, n] : walks) {
        Bytes plain, sealed;
        for (unsigned b = 0; b < 37; ++b) {
            const auto& row = rows.at(first + b % n);
            append(plain, row[2].substr(32 * (b / n % 2), 32));
            append(sealed, row[3].substr(32 * (b / n % 2), 32));
        }
        plain.push_back('\x7f');
        sealed.push_back('\x7f');
        CRijnDael ciphers[3];
        for (unsigned k = 0; k < n; ++k) {
            const Bytes key = FromHex(rows[first + k][1]);
            ciphers[k].SetKey(key.data(), int(key.size()), 16);
        }
        SCOPED_TRACE(testing::Message() << "rows " << first << " to " << first + n - 1);
        Bytes out(plain.size());
        CRijnDael::EncryptBlock(ciphers, int(n), plain.data(), out.data(), int(out.size()));
        EXPECT_EQ(ToHex(out), ToHex(sealed));
        CRijnDael::DecryptBlock(ciphers, int(n), sealed.data(), out.data(), int(out.size()));
        EXPECT_EQ(ToHex(out), ToHex(plain));
        if (n == 1) {
            EXPECT_EQ(ToHex(CryptBuffer(true, ciphers[0], plain)), ToHex(sealed));
            EXPECT_EQ(ToHex(CryptBuffer(false, ciphers[0], sealed)), ToHex(plain));
        }
    }
}

INSTANTIATE_PATHS(StoredWalks);

}  // namespace
