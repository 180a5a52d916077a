# Chart of the relay comparison (docs/benchmarks-compare.png) from the --data file of run.sh:
#   gnuplot -e "data='bench/compare/results/2026-12-11.dat'; out='docs/benchmarks-compare.png'" \
#     bench/compare/plot.gp
# Left: burst throughput; middle: CPU time of the relay processes for that burst; right:
# latency p50 and p99 at 1,000 messages/s (log scale).
if (!exists("data")) data = 'compare.dat'
if (!exists("out")) out = 'benchmarks-compare.png'
set terminal pngcairo size 1400,440 font ",10"
set output out
set multiplot layout 1,3 title "QVRemote against socat and a floor relay (loopback, 100-byte messages)"
set style data histograms
set style fill solid 0.8 border -1
set boxwidth 0.8
set grid ytics
set offsets 0, 0, graph 0.08, 0
set key top right
set title "Throughput, 200,000 messages as fast as possible"
set xtics rotate by -20
set ylabel "messages/s"
set yrange [0:*]
set format y "%.0f"
plot data using 2:xtic(1) notitle lc rgb "#3070b0", \
     '' using 0:2:(sprintf("%.0f", $2)) with labels offset 0,0.7 notitle
set title "Relay CPU time for that burst"
set ylabel "ms (utime + stime)"
plot data using 5:xtic(1) notitle lc rgb "#8060a0", \
     '' using 0:5:(sprintf("%.0f", $5)) with labels offset 0,0.7 notitle
set title "Latency, 5,000 messages at 1,000/s"
set ylabel "microseconds (log scale)"
set logscale y
set yrange [10:*]
set style histogram clustered gap 1
set key top right
plot data using 3:xtic(1) title "p50" lc rgb "#50a050", \
     '' using 4 title "p99" lc rgb "#d07030"
unset multiplot
