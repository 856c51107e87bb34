# compare.pl EXPECTED ACTUAL WINDIR KIND: compares an output of the DLL with the case's
# expected file, as tests/host/end_to_end_test.cc does for the Linux library. KIND "text":
# the file must have CR LF line ends and, with LF line ends, equal the expected text, where
# the case folder WINDIR reads as "$DIR" and paths after "$DIR" compare with either
# separator and without regard to case (Windows keeps names as written, Linux as stored).
# KIND "binary": equal bytes; "object": the bytes that the object description gives.
use strict;
my ($expectedFile, $actualFile, $dir, $kind) = @ARGV;
sub slurp { open(my $f, '<:raw', $_[0]) or return undef; local $/; return <$f> // ''; }
my ($expected, $actual) = (slurp($expectedFile), slurp($actualFile));
defined $actual or die "$actualFile: missing\n";
if ($kind eq 'text') {
  (my $lf = $actual) =~ s/\r\n/\n/g;
  (my $crlf = $lf) =~ s/\n/\r\n/g;
  $crlf eq $actual or die "$actualFile: not every line ends with CR LF\n";
  $actual = $lf =~ s/\Q$dir\E/\$DIR/gir;
  s{(\$DIR[^\s()]*)}{$1 =~ tr{\\A-Z}{/a-z}r}ge for ($expected, $actual);
} elsif ($kind eq 'object') {
  my ($header, $fill, $words, %placed) = ('', 0, 0x1000);
  for (split /\n/, $expected) {
    my ($key, $value) = split;
    next if !defined $key || $key =~ /^#/;
    if ($key eq 'header') { $header = $value // ''; }
    elsif ($key eq 'fill') { $fill = hex $value; }
    elsif ($key eq 'words') { $words = hex $value; }
    else { $placed{hex $key} = hex $value; }
  }
  my $bytes = chr($fill) x (2 * $words);
  substr($bytes, 2 * $_, 2) = pack('v', $placed{$_}) for keys %placed;
  $expected = $header . $bytes;
}
exit 0 if $expected eq $actual;
my @e = split /\n/, $expected, -1;
my @a = split /\n/, $actual, -1;
my $i = 0;
$i++ while $i < @e && $i < @a && $e[$i] eq $a[$i];
die "$actualFile differs at line " . ($i + 1) . ":\n  expected: " . ($e[$i] // '(end)') .
    "\n  actual:   " . ($a[$i] // '(end)') . "\n";
