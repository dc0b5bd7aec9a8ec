#!/usr/bin/perl
# Writes the small location databases the tests look addresses up in:
# Test-Country.mmdb, Test-City.mmdb, Test-ASN.mmdb and Test-Other.mmdb (a
# database of a kind that is neither) into the folder given. Only loopback
# and documentation ranges are in them.
use strict;
use warnings;
use MaxMind::DB::Writer::Tree;

my $dir = shift or die "usage: $0 FOLDER\n";

my %types = (
    country => 'map', registered_country => 'map', city => 'map', names => 'map',
    iso_code => 'utf8_string', en => 'utf8_string', geoname_id => 'uint32',
    autonomous_system_number => 'uint32', autonomous_system_organization => 'utf8_string',
    note => 'utf8_string',
);

sub country { my ($code, $name) = @_; return { iso_code => $code, names => { en => $name } } }

sub write_db {
    my ($file, $type, $networks) = @_;
    my $tree = MaxMind::DB::Writer::Tree->new(
        ip_version => 6, record_size => 24, database_type => $type,
        languages => ['en'], description => { en => "Vexo test data ($type)" },
        map_key_type_callback => sub { $types{ $_[0] } },
        remove_reserved_networks => 0,
    );
    $tree->insert_network($_->[0], $_->[1]) for @$networks;
    open my $fh, '>:raw', "$dir/$file" or die "$dir/$file: $!\n";
    $tree->write_tree($fh);
    close $fh or die "$dir/$file: $!\n";
}

my @countries = (
    ['127.0.0.0/24',    { country => country('DE', 'Germany') }],
    ['127.0.1.0/24',    { country => country('FR', 'France') }],
    ['192.0.2.0/24',    { country => country('JP', 'Japan') }],
    # A range with no country of its own, only where it is registered.
    ['198.51.100.0/24', { registered_country => country('AU', 'Australia') }],
    ['2001:db8::/32',   { country => country('NL', 'Netherlands') }],
);
write_db('Test-Country.mmdb', 'Test-Country', \@countries);
write_db('Test-City.mmdb', 'Test-City',
         [map { [$_->[0], { %{ $_->[1] }, city => { names => { en => 'Somewhere' } } }] } @countries]);
write_db('Test-ASN.mmdb', 'Test-ASN', [
    ['127.0.0.0/16',  { autonomous_system_number => 64500, autonomous_system_organization => 'Loopback Networks' }],
    ['192.0.2.0/24',  { autonomous_system_number => 64501, autonomous_system_organization => 'Doc Net' }],
    ['2001:db8::/32', { autonomous_system_number => 64502, autonomous_system_organization => 'Doc Six' }],
]);
write_db('Test-Other.mmdb', 'Test-Anonymous-IP', [['127.0.0.0/8', { note => 'none' }]]);
