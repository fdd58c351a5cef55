// Draws a recording's loudness over time as a PNG, with marked intervals (the transmissions
// of a scenario) shaded behind it, so that a headless demo can be judged at a glance.
//
// Usage: demo-timeline RECORDING.wav OUTPUT.png [START END LABEL]...

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sndfile.h>
#include <vector>

namespace {

struct Mark {
    double start;
    double end;
    QString label;
};

// Loudness in dB full scale of each window of the recording, all channels mixed.
std::vector<double> loudness(const char* path, double windowSeconds, double& seconds) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    const auto frames = static_cast<sf_count_t>(info.samplerate * windowSeconds);
    std::vector<float> buffer(static_cast<size_t>(frames * info.channels));
    std::vector<double> levels;
    sf_count_t read = 0;
    while ((read = sf_readf_float(file, buffer.data(), frames)) > 0) {
        double sum = 0;
        for (sf_count_t i = 0; i < read * info.channels; ++i) {
            sum += double(buffer[size_t(i)]) * buffer[size_t(i)];
        }
        const double rms = std::sqrt(sum / double(read * info.channels));
        levels.push_back(rms > 0 ? std::max(-90.0, 20 * std::log10(rms)) : -90.0);
    }
    seconds = double(info.frames) / info.samplerate;
    sf_close(file);
    return levels;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3 || (argc - 3) % 3 != 0) {
        std::fprintf(stderr, "usage: %s RECORDING.wav OUTPUT.png [START END LABEL]...\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<Mark> marks;
    for (int i = 3; i + 2 < argc; i += 3) {
        marks.push_back(
            {std::atof(argv[i]), std::atof(argv[i + 1]), QString::fromLocal8Bit(argv[i + 2])});
    }
    constexpr double kWindow = 0.02;
    double seconds = 0;
    const std::vector<double> levels = loudness(argv[1], kWindow, seconds);
    if (levels.empty()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }

    constexpr int kWidth = 1200, kHeight = 360, kLeft = 60, kRight = 20, kTop = 44, kBottom = 40;
    constexpr double kFloor = -90, kCeiling = 0;
    const double plotWidth = kWidth - kLeft - kRight, plotHeight = kHeight - kTop - kBottom;
    auto xOf = [&](double t) { return kLeft + plotWidth * t / std::max(seconds, 1e-9); };
    auto yOf = [&](double db) { return kTop + plotHeight * (kCeiling - db) / (kCeiling - kFloor); };

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);

    // Labels of overlapping transmissions go on a next row instead of over each other.
    double rowEnd[3] = {-1e9, -1e9, -1e9};
    for (const Mark& mark : marks) {
        const QRectF band(QPointF(xOf(mark.start), kTop),
                          QPointF(xOf(mark.end), kTop + plotHeight));
        p.fillRect(band, QColor(255, 214, 153, 200));
        const double width = p.fontMetrics().horizontalAdvance(mark.label) + 6;
        int row = 0;
        while (row < 2 && band.left() <= rowEnd[row]) {
            ++row;
        }
        rowEnd[row] = band.left() + width;
        p.setPen(QColor(140, 80, 0));
        p.drawText(QPointF(band.left() + 2, kTop - 4 - row * 13), mark.label);
    }
    p.setPen(QColor(200, 200, 200));
    for (double db = kFloor; db <= kCeiling; db += 15) {
        p.drawLine(QPointF(kLeft, yOf(db)), QPointF(kLeft + plotWidth, yOf(db)));
        p.setPen(Qt::black);
        p.drawText(QPointF(8, yOf(db) + 4), QStringLiteral("%1 dB").arg(db));
        p.setPen(QColor(200, 200, 200));
    }
    p.setPen(Qt::black);
    const int step = seconds > 60 ? 10 : 5;
    for (int t = 0; t <= int(seconds); t += step) {
        p.drawText(QPointF(xOf(t) - 8, kHeight - kBottom + 16), QStringLiteral("%1 s").arg(t));
    }
    QPolygonF curve;
    for (size_t i = 0; i < levels.size(); ++i) {
        curve << QPointF(xOf((double(i) + 0.5) * kWindow), yOf(levels[i]));
    }
    p.setPen(QPen(QColor(20, 60, 160), 1.2));
    p.drawPolyline(curve);
    p.setPen(Qt::black);
    p.drawRect(QRectF(kLeft, kTop, plotWidth, plotHeight));
    p.drawText(QPointF(kLeft, kHeight - 8),
               QStringLiteral("Loudness of the recording (20 ms windows); shaded: transmissions "
                              "of the scenario"));
    p.end();
    return image.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
