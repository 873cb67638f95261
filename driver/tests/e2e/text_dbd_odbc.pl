# Perl DBI with DBD::ODBC against the Text driver through unixODBC's driver manager.
# Usage: perl text_dbd_odbc.pl FOLDER (the files of make_text_files.py; the data source Texts).
use strict;
use warnings;
use utf8;
use DBI;

binmode STDOUT, ':encoding(UTF-8)';
my $folder = shift or die "usage: text_dbd_odbc.pl FOLDER\n";
my $dbh = DBI->connect('dbi:ODBC:Texts', '', '', { RaiseError => 1, PrintError => 0, odbc_utf8_on => 1 })
  or die $DBI::errstr;

my $rows = $dbh->selectall_arrayref('SELECT City, Amount FROM sales#csv ORDER BY Amount');
my $got = join(';', map { "$_->[0]=$_->[1]" } @$rows);
my $want = '東京=3;Bern=7;Zürich=12.5;Basel=100.25';
die "rows: $got, not $want\n" unless $got eq $want;

my ($amount) = $dbh->selectrow_array('SELECT Amount FROM [sales.csv] WHERE City = ?', undef, 'Zürich');
die "parameter: $amount\n" unless $amount == 12.5;

my $sth = $dbh->table_info(undef, undef, '%', 'TABLE');
my @tables = sort map { $_->[2] } @{ $sth->fetchall_arrayref };
die "tables: @tables\n" unless "@tables" eq 'mixed#csv odd#csv people#tab sales#csv semi#txt';

my $ok = eval { $dbh->do('DELETE FROM sales#csv'); 1 };
die "DELETE was not refused\n" if $ok;
die "DELETE: $DBI::errstr\n" unless $DBI::errstr =~ /DELETE is refused/;
$dbh->disconnect;
print "text DBD::ODBC: all checks passed\n";
