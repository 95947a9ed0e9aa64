#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// The inverse of the square part of a field's matrix at `rows` and
// `columns`, by Gauss-Jordan: inverse[c][r] is what recovery row rows[r],
// less the pieces that are whole, contributes to piece columns[c]. The
// matrix being Cauchy, every such part has one. For both fields alike.
template <typename Element, typename Coefficient, typename Multiply, typename Inverse>
std::vector<std::vector<Element>> square_inverse(const std::vector<int>& rows, const std::vector<int>& columns,
                                                 Coefficient coefficient, Multiply multiply, Inverse inverse)
{
    const std::size_t n = rows.size();
    std::vector<std::vector<Element>> part(n, std::vector<Element>(2 * n, 0));
    for (std::size_t r = 0; r < n; ++r) {
        for (std::size_t c = 0; c < n; ++c)
            part[r][c] = coefficient(rows[r], columns[c]);
        part[r][n + r] = 1;
    }
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        while (pivot + 1 < n && part[pivot][c] == 0)
            ++pivot;
        std::swap(part[c], part[pivot]);
        const Element scale = inverse(part[c][c]);
        for (auto& value : part[c])
            value = multiply(value, scale);
        for (std::size_t r = 0; r < n; ++r)
            if (r != c && part[r][c] != 0) {
                const Element factor = part[r][c];
                for (std::size_t i = 0; i < 2 * n; ++i)
                    part[r][i] ^= multiply(factor, part[c][i]);
            }
    }
    std::vector<std::vector<Element>> result(n, std::vector<Element>(n));
    for (std::size_t c = 0; c < n; ++c)
        for (std::size_t r = 0; r < n; ++r)
            result[c][r] = part[c][n + r];
    return result;
}
