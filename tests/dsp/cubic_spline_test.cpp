#include "dsp/CubicSpline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Velmora::CubicSpline;

double Cubic(double x) { return 0.7 - 1.3 * x + 0.4 * x * x + 0.25 * x * x * x; }

// Rounding in the fit and the Horner evaluation stays within a few ulps of the largest term involved.
constexpr double kRoundingTolerance = 1e-12;

TEST(CubicSpline, FourPointsGiveTheCubicThroughThem) {
    const double x[] = {-1.0, 0.3, 1.1, 2.5};
    double y[4];
    for (int i = 0; i < 4; ++i) y[i] = Cubic(x[i]);
    CubicSpline spline;
    ASSERT_EQ(spline.Fit(x, y, 4), CubicSpline::Fitted);
    for (double t = -2.0; t <= 4.0; t += 0.137) EXPECT_NEAR(spline.Evaluate(t), Cubic(t), kRoundingTolerance) << t;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(spline.Evaluate(x[i]), y[i], kRoundingTolerance);
}

// The end conditions copy the third derivative of the end cubics, so data of one cubic is reproduced on
// every piece, including the continuations below the first and beyond the last point.
TEST(CubicSpline, ManyUnevenPointsOfACubicReproduceIt) {
    const std::vector<double> x = {-3.0, -2.2, -0.9, -0.5, 0.4, 1.9, 2.0, 3.7, 5.2};
    std::vector<double> y;
    for (double v : x) y.push_back(Cubic(v));
    CubicSpline spline;
    ASSERT_EQ(spline.Fit(x.data(), y.data(), x.size()), CubicSpline::Fitted);
    for (double t = -4.0; t <= 6.5; t += 0.0731) EXPECT_NEAR(spline.Evaluate(t), Cubic(t), 1e-10) << t;
}

// One-sided four-point differences are exact for a cubic piece, so comparing the left piece's derivatives
// with the right piece's at each interior point leaves only rounding.
TEST(CubicSpline, InteriorPointsJoinWithContinuousSlopeAndCurvature) {
    const std::vector<double> x = {0.0, 0.5, 1.7, 2.0, 3.1, 4.0};
    const std::vector<double> y = {1.0, -0.4, 2.2, 0.3, 0.9, -1.5};
    CubicSpline spline;
    ASSERT_EQ(spline.Fit(x.data(), y.data(), x.size()), CubicSpline::Fitted);
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(spline.Evaluate(x[i]), y[i], 1e-12);
    const double h = 1e-3;
    for (std::size_t i = 1; i + 1 < x.size(); ++i) {
        double left[4], right[4];  // left[m] = s(x - m h), right[m] = s(x + m h)
        for (int m = 0; m < 4; ++m) {
            left[m] = spline.Evaluate(x[i] - m * h);
            right[m] = spline.Evaluate(x[i] + m * h);
        }
        const double slopeLeft = (11 * left[0] - 18 * left[1] + 9 * left[2] - 2 * left[3]) / (6 * h);
        const double slopeRight = -(11 * right[0] - 18 * right[1] + 9 * right[2] - 2 * right[3]) / (6 * h);
        const double curvatureLeft = (2 * left[0] - 5 * left[1] + 4 * left[2] - left[3]) / (h * h);
        const double curvatureRight = (2 * right[0] - 5 * right[1] + 4 * right[2] - right[3]) / (h * h);
        EXPECT_NEAR(slopeLeft, slopeRight, 1e-6) << "slope at " << x[i];
        EXPECT_NEAR(curvatureLeft, curvatureRight, 1e-3) << "curvature at " << x[i];
    }
}

TEST(CubicSpline, RefusesUnorderedPoints) {
    const double y[] = {1.0, 2.0, 3.0, 4.0};
    const double repeated[] = {0.0, 1.0, 1.0, 3.0};
    const double nan[] = {0.0, std::numeric_limits<double>::quiet_NaN(), 2.0, 3.0};
    CubicSpline spline;
    EXPECT_EQ(spline.Fit(repeated, y, 4), CubicSpline::NotAscending);
    EXPECT_EQ(spline.Evaluate(0.5), 0.0);
    EXPECT_EQ(spline.Fit(nan, y, 4), CubicSpline::NotAscending);
    EXPECT_EQ(spline.status(), CubicSpline::NotAscending);
    EXPECT_EQ(spline.Evaluate(0.5), 0.0);
}

TEST(CubicSpline, WorkspaceIsReusableAcrossSizes) {
    const std::vector<double> x = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
    std::vector<double> y;
    for (double v : x) y.push_back(Cubic(v));
    CubicSpline spline;
    ASSERT_EQ(spline.Fit(x.data(), y.data(), 6), CubicSpline::Fitted);
    const double line[] = {2.0, 4.0};
    ASSERT_EQ(spline.Fit(x.data(), line, 2), CubicSpline::Fitted);
    EXPECT_EQ(spline.Evaluate(0.5), 3.0);
    EXPECT_EQ(spline.Evaluate(3.0), 8.0);  // the straight line continues beyond the last point
    ASSERT_EQ(spline.Fit(x.data() + 1, y.data() + 1, 4), CubicSpline::Fitted);
    EXPECT_NEAR(spline.Evaluate(0.25), Cubic(0.25), kRoundingTolerance);
}

}  // namespace
