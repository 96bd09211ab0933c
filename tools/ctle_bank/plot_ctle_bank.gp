# Plots a few columns per gain group of the receiver equaliser's response bank, in time and frequency.
# Usage: gen_ctle_bank --csv-time t.csv --csv-freq f.csv bank.bin
#        gnuplot -e "timecsv='t.csv'; freqcsv='f.csv'; outdir='docs'" tools/ctle_bank/plot_ctle_bank.gp
# Each table holds five columns per group (codes 0, 64, 128, 192, 255) after its first column.

set datafile separator ","
set terminal pngcairo size 1400,1000 font ",11"
set key top right
set grid
codes = "0 64 128 192 255"

set output outdir."/ctle_bank_impulse.png"
set multiplot layout 2,2 title "Receiver equaliser response bank: impulse responses (bank columns 256 g + code)"
do for [g=0:3] {
    set title sprintf("gain group %d", g)
    set xlabel "time [ps]"
    set ylabel "response [1/s]"
    set xrange [0:200]
    plot for [i=1:5] timecsv using 1:(column(1 + 5*g + i)) every ::1 with lines lw 2 \
        title sprintf("code %s", word(codes, i))
}
unset multiplot

set output outdir."/ctle_bank_frequency.png"
set multiplot layout 2,2 title "Receiver equaliser response bank: magnitude responses"
do for [g=0:3] {
    set title sprintf("gain group %d", g)
    set xlabel "frequency [GHz]"
    set ylabel "magnitude [dB]"
    set xrange [0:60]
    set yrange [-15:20]
    plot for [i=1:5] freqcsv using 1:(column(1 + 5*g + i)) every ::1 with lines lw 2 \
        title sprintf("code %s", word(codes, i))
}
unset multiplot
